// Vector and rotation helpers. Vectors are three doubles or floats passed as a pointer to the
// first component; matrices are 4x4 floats, row-major, m[row][column].
#pragma once

// Quaternion: (x, y, z) vector part, w scalar part; identity is (0, 0, 0, 1).
struct QUAT {
    float x, y, z, w;
};

// Rotation math used by the camera. EulerToQuat applies roll about X, then pitch about Y,
// then yaw about Z (radians, fixed axes); rotateVecByQuat rotates a homogeneous four-float
// vector in place, leaving its fourth component as it was.
void EulerToQuat(float roll, float pitch, float yaw, QUAT* quat);
void QuatToMatrix(QUAT* quat, float m[4][4]);
void rotateVecByQuat(float* f, QUAT q);
// v <- M v for a four-float vector, M read row-major.
void VMatMult(const float* M, float* v);

// Scales to unit length in place; a zero vector stays zero.
void Normalize(double* result);
// Unit normal of the triangle v1, v2, v3: (v2 - v1) x (v3 - v2), normalised; 0 when degenerate.
void CrossProd3(const double* v1, const double* v2, const double* v3, double* result);
// CrossProd3 of two triangles at once, a[0..2] and b[0..2] their corners, into ra and rb: the
// same operations in the same order on both lanes of a vector unit, so the same bits as two
// calls of CrossProd3, at the cost of about one.
void CrossProd3Pair(const double* const a[3], const double* const b[3], double* ra, double* rb);
