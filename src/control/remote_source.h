#pragma once

#include "link/remote_source.h"

namespace vetra::control {
using RemoteSource = link::RemoteSource;
}  // namespace vetra::control
