#pragma once

#include <utility>
#include <vector>

namespace vetra::analysis {

// A value counts as zero when -1e-12 < v < 1e-5.
bool isNearZero(double v);

// A small table of (x, y) points, built for one evaluation: piecewise-linear with
// extrapolation beyond both ends, or the interpolating polynomial through all points.
class InterpolationTable {
public:
    // The new points are (0, 0) until set.
    void resize(int count);
    // Throws std::out_of_range("array::operator[]") outside 0 .. count - 1.
    void setPoint(int index, double x, double y);

    // Fewer than two points, or two points on one abscissa around x, give 0.
    double linear(double x);
    // Lagrange form; a point whose abscissa is exactly x gives its y, duplicate
    // abscissae drop out.
    double polynomial(double x);

    int size() const { return static_cast<int>(points_.size()); }

private:
    void sort();

    std::vector<std::pair<double, double>> points_;
    bool sorted_ = false;
};

}  // namespace vetra::analysis
