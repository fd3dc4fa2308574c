#pragma once
// The two inner loops of the hot-spot correction, vectorised across columns. Each column keeps
// exactly the arithmetic of the plain formula (the same additions in the same order, the same
// rounding), so the results do not depend on the instruction set the machine offers.

#include "image/Bitmap32.h"

// out[x] = (768 - S) * multiplier / 768 + offsetTerm for pixel x of the row, S its red + green +
// blue, evaluated in double in that order (offsetTerm being Offset / 100).
void FactorsOfRow(const TColor32* row, int count, double multiplier, double offsetTerm,
                  double* out);

// out[x] = the mean of the n x n block whose top-left cell is column x of rows[0]: summed in
// double from 0, block column k (0..n-1) outer and block row l (0..n-1) inner, the sum then
// divided by n * n. rows[l] must hold count + n - 1 values. n is 2..5.
void SmoothFactorRow(const double* const* rows, int n, int count, double* out);

// SmoothFactorRow for the kSmoothGroupRows output rows out[0..] at once, out[r] from the blocks
// starting in rows[r]: rows must hold kSmoothGroupRows + n - 1 rows of count + n - 1 values.
inline constexpr int kSmoothGroupRows = 4;
void SmoothFactorRows(const double* const* rows, int n, int count, double* const* out);

// row[x] = ScaleColor(row[x], factors[x]) for x < count.
void ScaleRowByFactors(TColor32* row, const double* factors, int count);
