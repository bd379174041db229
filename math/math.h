// Vector, matrix and quaternion helpers. Vectors are three doubles or floats passed as a
// pointer to the first component; matrices are 4x4 floats, row-major, m[row][column].
#pragma once

// Quaternion: (x, y, z) vector part, w scalar part; identity is (0, 0, 0, 1).
struct QUAT {
    float x, y, z, w;
};

// Rotation math used by the camera.
void EulerToQuat(float roll, float pitch, float yaw, QUAT* quat);
void QuatToMatrix(QUAT* quat, float m[4][4]);
void rotateVecByQuat(float* f, QUAT q);

void Normalize(double* result);
void Normalize(float* result);
// Unit normal of the triangle v1, v2, v3: (v2 - v1) x (v3 - v2), normalised; 0 when degenerate.
void CrossProd3(const double* v1, const double* v2, const double* v3, double* result);
void CrossProd3(const float* v1, const float* v2, const float* v3, float* result);
// Unit vector along v1 x v2; 0 when the product is 0.
void CrossProd(const double* v1, const double* v2, double* result);
void CrossProd(const float* v1, const float* v2, float* result);
double VecLen(const double* v);
float VecLen(const float* v);
double DotProd3(const double* v1, const double* v2);
float DotProd3(const float* v1, const float* v2);

void VMatMult(const float* M, float* v);
void VMatMultPost(const float* M, float* v);
void MatToQuat(float m[4][4], QUAT* quat);
void QuatMul(const QUAT* q1, const QUAT* q2, QUAT* res);
void QuatSlerp(const QUAT* from, const QUAT* to, QUAT* res, float t);
void Rotate(const float* from, const float* to, float result[4][4]);
void invert(float M[4][4]);
void FindPlanarEquation(const float* point, const float* normal, double* result);

// Random draws in the 0..32767 generator's resolution.
float randN(float min, float max);
float Random(float max);
void InitRandomList();
float GetRandomFromList();
