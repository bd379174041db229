// The flying camera: the eye sits 300 units behind the focus point along the camera's
// rotated z axis and looks at it.
#pragma once

class CameraObject {
public:
    CameraObject();

    // Turns the camera; x and y in degrees, z in radians (every caller passes 0).
    void Rotate(float x, float y, float z);
    // Moves the focus point by (x, y, z) in the camera's own axes.
    void Move(float x, float y, float z);
    // Multiplies the viewing transform onto the current OpenGL matrix.
    void Place();
    void GetPosition(double* pos) const;
    // The eye, centre and up vectors that Place hands to gluLookAt.
    void LookAt(double* eye, double* centre, double* up) const;

    float Rotation[3];  // radians; [1] is kept within +-89.5 degrees
    float Position[3];  // the focus point, world units
};
