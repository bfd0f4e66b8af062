// The projective transform shared by Transform and Transform2.
#pragma once

#include <cstdint>

#include "core/sampling.h"

namespace vx {

struct Matrix3 {
    double m[3][3];
};

// One slot: an operation code (0 nothing, 1 zoom ... 16 hide right margin)
// and its amount in percent.
struct TransformStep {
    int32_t code;
    double amount;
};

extern const char16_t* const kTransformOperationNames[17];

// The matrix of one operation for amount a (amount / 100) on a W x H frame;
// false for codes outside 1..16.
bool ElementaryMatrix(int32_t code, double a, double W, double H, Matrix3* p);

// The product a * b.
Matrix3 MultiplyMatrices(const Matrix3& a, const Matrix3& b);

// M = P1 * P2 * ... * Pn, skipping "nothing" and unknown codes.
Matrix3 ComposeTransform(const TransformStep* steps, int count, uint32_t W, uint32_t H);

// The settings that follow the operations in both transform effects, from
// parameter `first` on: interpolation, background transparency, red, green,
// blue and interlaced.  The background colour goes to *outside.
struct RenderSettings {
    int32_t mode;
    bool fieldAware;
};
RenderSettings ReadRenderSettings(HostRenderContext* ctx, int32_t first, Rgba* outside);

// Renders every output pixel from the source position M maps it to, with
// coordinates centred on the frame's middle.  With guardZero a projective
// denominator of 0 scales by 1; without it the division goes ahead and the
// infinite or undefined position gives the background colour.
void RenderProjective(const Sampler& sampler, const Matrix3& M, bool fieldAware, int32_t mode,
                      bool guardZero = true);

}  // namespace vx
