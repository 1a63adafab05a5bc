// SPDX-License-Identifier: GPL-3.0-or-later
// The contribution lists of the cubic resampler: which inputs each output of a one-dimensional
// pass takes, with which weights (Mitchell-Netravali filter, B = C = 1/3, double precision).
#pragma once

#include <vector>

namespace pictavo {

// The weights of one pass: output i takes inputs first[i] .. first[i] + count[i] - 1 with
// weights[i * taps ...]. Built once per pass.
struct CubicPass {
    int taps = 0;
    std::vector<int> first;
    std::vector<int> count;
    std::vector<double> weights;
};

// The lists for a pass from inputs to outputs samples (both at least 1). When shrinking, the
// filter is widened by inputs / outputs. Weights are normalised to sum 1 when their sum is
// positive and not exactly 1; zero weights at either end are left out.
CubicPass cubic_pass(int inputs, int outputs);

} // namespace pictavo
