// The flying camera: the eye sits behind the focus point along the camera's rotated z axis
// and looks at it, 300 units back unless framing the data set another distance.
#pragma once

// The eye's usual distance behind the focus point, in world units.
const double kCameraDistance = 300;

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

    // The eye's distance behind the focus point, world units; 300 until changed.
    void SetDistance(double d) { distance = d; }
    double GetDistance() const { return distance; }
    // Moving drags go this much faster than at the usual distance: distance / 300.
    float DragScale() const;
    // Back to the state of construction: angles and focus 0, the usual distance.
    void Reset();

    float Rotation[3];  // radians; [1] is kept within +-89.5 degrees
    float Position[3];  // the focus point, world units

private:
    double distance;
};
