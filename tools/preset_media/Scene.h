#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>

#include <cmath>

// A tiny flat-shaded 3D street: a road, pavements, houses with windows, lamps, trees, far mountains, red
// figures and cars. Enough depth cues (parallax, perspective, haze) to tell every camera movement apart.

struct Vec3 {
    double x = 0, y = 0, z = 0;
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double length() const { return std::sqrt(dot(*this)); }
    Vec3 normalized() const {
        const double l = length();
        return l > 0 ? *this * (1.0 / l) : *this;
    }
};

struct Mat3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 operator*(const Vec3& v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    Mat3 operator*(const Mat3& o) const;
    Mat3 transposed() const;
    // Angles in degrees. Yaw > 0 turns to the right (+x), pitch > 0 looks up, roll > 0 turns the picture clockwise.
    static Mat3 yaw(double degrees);
    static Mat3 pitch(double degrees);
    static Mat3 roll(double degrees);
};

constexpr double kPi = 3.14159265358979323846;
inline double radians(double degrees) {
    return degrees * kPi / 180.0;
}

// x to the right, y up, z forward (into the street). One unit is one metre.
struct Camera {
    Vec3 position{0, 1.6, 0};
    double yaw = 0, pitch = 0, roll = 0;
    double focal = 0.95; // in frame widths: 0.95 is about a 55 degree horizontal view
};

enum class Palette { colourful, clay };

struct Figure {
    Vec3 position;        // between the feet
    double heading = 180; // degrees; 0 faces +z (away from a camera at the street's start), 180 faces it
    double stride = 0;    // walk cycle phase in radians
    double swing = 0;     // leg swing amplitude in degrees (0 = standing)
};

struct Car {
    Vec3 position;      // centre of the footprint
    double heading = 0; // degrees; 0 drives towards +z
};

// The flat roof of a rooftop scene, in metres above the street.
constexpr double kRoofHeight = 12;

struct SceneSetup {
    Palette palette = Palette::colourful;
    QList<Figure> figures;
    QList<Car> cars;
    bool rooftop = false;     // a flat roof under the figures on the left side of the street
    bool windowFrame = false; // a wall with a window just in front of the camera
    bool hands = false;       // the viewer's hands at the bottom of the picture
    bool eyelids = false;     // the soft dark rim of a view through one's own eyes
};

QImage render(const SceneSetup& setup, const Camera& camera, QSize size);
