#include "Scene.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>

Mat3 Mat3::operator*(const Mat3& o) const {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
    }
    return r;
}

Mat3 Mat3::transposed() const {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[j][i];
    }
    return r;
}

Mat3 Mat3::yaw(double degrees) {
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    Mat3 r;
    r.m[0][0] = c, r.m[0][2] = s, r.m[2][0] = -s, r.m[2][2] = c;
    return r;
}

Mat3 Mat3::pitch(double degrees) {
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    Mat3 r;
    r.m[1][1] = c, r.m[1][2] = s, r.m[2][1] = -s, r.m[2][2] = c;
    return r;
}

Mat3 Mat3::roll(double degrees) {
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    Mat3 r;
    r.m[0][0] = c, r.m[0][1] = -s, r.m[1][0] = s, r.m[1][1] = c;
    return r;
}

namespace {

enum Layer { skyLayer = 0, groundLayer = 1, shadowLayer = 2, solidLayer = 3 };

struct Colours {
    QColor zenith, horizon, haze, grass, road, pavement, dash, mountain, trunk, foliage, lamp, window, litWindow,
        figure, car, glass, roof, wall, frame, skin;
    QList<QColor> houses;
    double fogDistance = 420;
    bool flatSubjects = false; // the red subjects as flat silhouettes
    bool details = true;       // windows and road markings
};

Colours coloursFor(Palette palette) {
    Colours c;
    if (palette == Palette::clay) {
        c.zenith = QColor(196, 200, 208);
        c.horizon = c.haze = QColor(236, 237, 240);
        c.grass = QColor(196, 196, 199);
        c.road = QColor(178, 178, 182);
        c.pavement = QColor(212, 212, 215);
        c.dash = c.road;
        c.mountain = QColor(230, 230, 233);
        c.trunk = c.foliage = c.lamp = QColor(228, 228, 230);
        c.window = c.litWindow = QColor(214, 214, 217);
        c.figure = c.car = QColor(205, 32, 36);
        c.glass = QColor(150, 22, 26);
        c.roof = c.wall = c.frame = QColor(232, 232, 234);
        c.skin = QColor(232, 232, 234);
        c.houses = {QColor(246, 246, 247), QColor(232, 232, 235), QColor(240, 240, 242)};
        c.fogDistance = 900;
        c.flatSubjects = true;
        c.details = false;
        return c;
    }
    c.zenith = QColor(62, 118, 196);
    c.horizon = QColor(196, 218, 238);
    c.haze = QColor(184, 204, 226);
    c.grass = QColor(92, 146, 78);
    c.road = QColor(68, 70, 78);
    c.pavement = QColor(176, 172, 164);
    c.dash = QColor(238, 226, 120);
    c.mountain = QColor(104, 120, 150);
    c.trunk = QColor(110, 80, 55);
    c.foliage = QColor(58, 128, 62);
    c.lamp = QColor(55, 58, 66);
    c.window = QColor(58, 78, 110);
    c.litWindow = QColor(250, 214, 120);
    c.figure = QColor(214, 38, 40);
    c.car = QColor(200, 30, 36);
    c.glass = QColor(40, 52, 70);
    c.roof = QColor(120, 112, 104);
    c.wall = QColor(226, 214, 190);
    c.frame = QColor(248, 248, 244);
    c.skin = QColor(226, 176, 142);
    c.houses = {QColor(236, 190, 150), QColor(170, 196, 220), QColor(232, 222, 170), QColor(200, 170, 210),
                QColor(180, 214, 180), QColor(228, 160, 150), QColor(214, 214, 206)};
    return c;
}

// Reproducible pseudo-random numbers, so the same command makes the same media.
struct Random {
    std::mt19937 engine;
    double next() { return double(engine()) / 4294967296.0; }
};

struct Poly {
    QList<Vec3> points;
    QColor color;
    int layer = solidLayer;
    bool lit = true;
    bool twoSided = false;
    int level = 1;      // for decals: 2 lies on a level-1 decal (a lane marking on the road)
    QList<Poly> decals; // drawn right after the face they lie on
};

struct Ball {
    Vec3 centre;
    double radius = 1;
    QColor color;
    int layer = solidLayer;
    bool lit = true;
};

Vec3 normalOf(const QList<Vec3>& p) {
    return (p[1] - p[0]).cross(p[2] - p[0]).normalized();
}

Vec3 centroidOf(const QList<Vec3>& p) {
    Vec3 sum;
    for (const Vec3& v : p)
        sum = sum + v;
    return sum * (1.0 / p.size());
}

const Vec3 kSun = Vec3{-0.45, 0.8, -0.4}.normalized();

class World {
public:
    explicit World(const Colours& colours) : c(colours) {}

    QList<Poly> polys;
    QList<Ball> balls;
    const Colours& c;

    // Adds the six faces (+x, -x, +y, -y, +z, -z) of a box; returns the index of the first.
    int box(const Vec3& centre, const Vec3& size, const Mat3& rotation, const QColor& color, bool lit = true) {
        const Vec3 h = size * 0.5;
        auto corner = [&](double sx, double sy, double sz) {
            return centre + rotation * Vec3{sx * h.x, sy * h.y, sz * h.z};
        };
        const int first = int(polys.size());
        const int faces[6][4][3] = {
            {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}, {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
            {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}}, {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
            {{1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},
        };
        for (const auto& face : faces) {
            Poly p;
            for (const auto& v : face)
                p.points << corner(v[0], v[1], v[2]);
            p.color = color;
            p.lit = lit;
            polys << p;
        }
        return first;
    }

    void shadow(const Vec3& centre, double rx, double rz, double heading) {
        Poly p;
        const Mat3 r = Mat3::yaw(heading);
        for (int i = 16; i > 0; --i) {
            const double a = 2 * kPi * i / 16;
            p.points << centre + r * Vec3{rx * std::cos(a), 0.01, rz * std::sin(a)};
        }
        p.color = QColor(0, 0, 0, c.flatSubjects ? 40 : 80);
        p.layer = shadowLayer;
        p.lit = false;
        p.twoSided = true;
        polys << p;
    }

    void figure(const Figure& f) {
        const Mat3 turn = Mat3::yaw(f.heading);
        const bool lit = !c.flatSubjects;
        const Vec3 base = f.position;
        auto at = [&](double x, double y, double z) { return base + turn * Vec3{x, y, z}; };
        const double legSwing = f.swing * std::sin(f.stride);
        for (int side : {-1, 1}) {
            const Mat3 leg = turn * Mat3::pitch(side * legSwing);
            box(at(side * 0.13, 0.92, 0) + leg * Vec3{0, -0.45, 0}, {0.2, 0.92, 0.22}, leg, c.figure, lit);
            const Mat3 arm = turn * Mat3::pitch(-side * legSwing * 0.8);
            box(at(side * 0.36, 1.5, 0) + arm * Vec3{0, -0.32, 0}, {0.14, 0.68, 0.16}, arm, c.figure, lit);
        }
        box(at(0, 1.22, 0), {0.54, 0.66, 0.3}, turn, c.figure, lit);
        balls << Ball{at(0, 1.72, 0), 0.16, c.figure, solidLayer, lit};
        if (!c.flatSubjects)
            balls << Ball{at(0, 1.74, 0.1), 0.085, QColor(40, 30, 30), solidLayer, false}; // the face side
        shadow(base, 0.45, 0.35, f.heading);
    }

    void car(const Car& car) {
        const Mat3 turn = Mat3::yaw(car.heading);
        const bool lit = !c.flatSubjects;
        auto at = [&](double x, double y, double z) { return car.position + turn * Vec3{x, y, z}; };
        box(at(0, 0.62, 0), {1.8, 0.66, 4.3}, turn, c.car, lit);
        const int cabin = box(at(0, 1.2, -0.25), {1.56, 0.52, 2.2}, turn, c.car, lit);
        if (c.details) {
            // Glass on the cabin's sides, front and back.
            for (int f : {0, 1, 4, 5}) {
                Poly& face = polys[cabin + f];
                const Vec3 mid = centroidOf(face.points);
                Poly glass;
                for (const Vec3& v : face.points)
                    glass.points << mid + (v - mid) * 0.8 + normalOf(face.points) * 0.01;
                glass.color = c.glass;
                face.decals << glass;
            }
        }
        for (int sx : {-1, 1}) {
            for (int sz : {-1, 1})
                balls << Ball{at(sx * 0.86, 0.34, sz * 1.35), 0.34, QColor(28, 28, 30), solidLayer, lit};
            balls << Ball{at(sx * 0.6, 0.72, 2.16), 0.11, QColor(255, 246, 214), solidLayer, false};
        }
        shadow(car.position, 1.25, 2.5, car.heading);
    }

    // `keepClear`: leave out the houses where the roof building stands.
    void street(bool keepClear) {
        Random random{std::mt19937(20260107u)};
        // Ground in bands across the street, each with its own haze.
        for (double z = -400; z < 1000; z += 10) {
            Poly band;
            band.points = {{-1200, 0, z}, {-1200, 0, z + 10}, {1200, 0, z + 10}, {1200, 0, z}};
            band.color = c.grass;
            band.layer = groundLayer;
            auto strip = [&](double x0, double x1, double z0, double z1, const QColor& color, int level) {
                Poly s;
                s.points = {{x0, 0, z0}, {x0, 0, z1}, {x1, 0, z1}, {x1, 0, z0}};
                s.color = color;
                s.level = level;
                band.decals << s;
            };
            strip(-6.5, -3.5, z, z + 10, c.pavement, 1);
            strip(3.5, 6.5, z, z + 10, c.pavement, 1);
            strip(-3.5, 3.5, z, z + 10, c.road, 1);
            if (c.details)
                strip(-0.08, 0.08, z + 1, z + 5, c.dash, 2);
            polys << band;
        }
        // Houses on both sides.
        for (int side : {-1, 1}) {
            double z = -160;
            while (z < 480) {
                const double length = 8 + random.next() * 6;
                const double depth = 8 + random.next() * 5;
                const double height = 5 + random.next() * 17;
                const QColor color = c.houses[int(random.next() * c.houses.size()) % c.houses.size()];
                const double x = side * (8.5 + depth / 2);
                if (keepClear && side < 0 && z < 32 && z + length > 12) {
                    z += length + 2 + random.next() * 4;
                    continue;
                }
                const int first = box({x, height / 2, z + length / 2}, {depth, height, length}, Mat3(), color);
                polys[first + 2].color = c.roof;
                if (c.details) {
                    Poly& front = polys[first + (side < 0 ? 0 : 1)]; // the face towards the street
                    const double fx = side * 8.5 - side * 0.03;
                    for (double y = 1.2; y + 1.5 < height; y += 3.0) {
                        for (double wz = z + 1.2; wz + 1.0 < z + length - 0.6; wz += 2.4) {
                            Poly window;
                            window.points = {
                                {fx, y, wz}, {fx, y + 1.4, wz}, {fx, y + 1.4, wz + 1.0}, {fx, y, wz + 1.0}};
                            if (side > 0)
                                std::reverse(window.points.begin(), window.points.end());
                            window.color = random.next() < 0.12 ? c.litWindow : c.window;
                            front.decals << window;
                        }
                    }
                }
                z += length + 2 + random.next() * 4;
            }
        }
        // Lamps and trees along the pavements.
        for (int side : {-1, 1}) {
            for (double z = -150; z < 460; z += 14) {
                box({side * 5.3, 2.6, z}, {0.14, 5.2, 0.14}, Mat3(), c.lamp);
                box({side * 4.7, 5.15, z}, {1.2, 0.12, 0.16}, Mat3(), c.lamp);
                box({side * 6.2, 1.1, z + 7}, {0.28, 2.2, 0.28}, Mat3(), c.trunk);
                balls << Ball{{side * 6.2, 3.2, z + 7}, 1.35, c.foliage};
                balls << Ball{{side * 6.0, 4.3, z + 6.7}, 0.9, c.foliage};
            }
        }
        // Far mountains all around.
        for (int i = 0; i < 36; ++i) {
            const double a = 2 * kPi * i / 36 + random.next() * 0.1;
            const double distance = 780 + random.next() * 160;
            const double width = 260 + random.next() * 200;
            const double height = 70 + random.next() * 110;
            const Vec3 centre{distance * std::sin(a), 0, distance * std::cos(a)};
            const Vec3 across{std::cos(a), 0, -std::sin(a)};
            Poly peak;
            peak.points = {centre - across * (width / 2), centre + Vec3{0, height, 0}, centre + across * (width / 2)};
            peak.color = c.mountain;
            peak.twoSided = true;
            peak.lit = false;
            polys << peak;
        }
    }

    void roof() {
        const double h = kRoofHeight;
        const int first = box({-14.5, h / 2, 22}, {12, h, 18}, Mat3(), c.houses[1]);
        polys[first + 2].color = c.roof;
        for (double x : {-20.3, -8.7})
            box({x, h + 0.45, 22}, {0.4, 0.9, 18}, Mat3(), c.wall);
        box({-14.5, h + 0.45, 30.8}, {12, 0.9, 0.4}, Mat3(), c.wall);
    }

    // A wall with a window 1.3 m in front of the camera.
    void windowFrame(const Camera& camera, const Mat3& rotation) {
        auto at = [&](double x, double y) { return camera.position + rotation * Vec3{x, y, 1.3}; };
        auto panel = [&](double x0, double y0, double x1, double y1, const QColor& color, double z = 0) {
            Poly p;
            p.points = {at(x0, y0) + rotation * Vec3{0, 0, z}, at(x0, y1) + rotation * Vec3{0, 0, z},
                        at(x1, y1) + rotation * Vec3{0, 0, z}, at(x1, y0) + rotation * Vec3{0, 0, z}};
            p.color = color;
            p.twoSided = true;
            p.lit = false;
            polys << p;
        };
        const double w = 0.52, top = 0.34, bottom = -0.3;
        panel(-4, -4, -w, 4, c.wall);
        panel(w, -4, 4, 4, c.wall);
        panel(-w, top, w, 4, c.wall);
        panel(-w, -4, w, bottom, c.wall);
        const QColor frame = c.frame;
        panel(-w - 0.06, bottom - 0.06, -w + 0.04, top + 0.06, frame, -0.02);
        panel(w - 0.04, bottom - 0.06, w + 0.06, top + 0.06, frame, -0.02);
        panel(-w - 0.06, top - 0.04, w + 0.06, top + 0.06, frame, -0.02);
        panel(-w - 0.06, bottom - 0.06, w + 0.06, bottom + 0.04, frame, -0.02);
        panel(-0.02, bottom, 0.02, top, frame, -0.01);
    }

    // A dome of sky around the camera, lighter towards the horizon.
    void sky(const Vec3& eye) {
        const double elevations[] = {-30, 0, 3, 8, 16, 28, 45, 65, 90};
        const int bands = int(std::size(elevations)) - 1;
        for (int b = 0; b < bands; ++b) {
            const double mid = (elevations[b] + elevations[b + 1]) / 2;
            const double t = std::clamp(mid / 60.0, 0.0, 1.0);
            const QColor color =
                mid < 0 ? c.haze
                        : QColor::fromRgbF(c.horizon.redF() + (c.zenith.redF() - c.horizon.redF()) * t,
                                           c.horizon.greenF() + (c.zenith.greenF() - c.horizon.greenF()) * t,
                                           c.horizon.blueF() + (c.zenith.blueF() - c.horizon.blueF()) * t);
            for (int s = 0; s < 24; ++s) {
                auto dir = [&](double az, double el) {
                    return eye + Vec3{std::cos(radians(el)) * std::sin(radians(az)), std::sin(radians(el)),
                                      std::cos(radians(el)) * std::cos(radians(az))} *
                                     2000;
                };
                const double a0 = s * 15, a1 = a0 + 15;
                Poly p;
                p.points = {dir(a0, elevations[b]), dir(a0, elevations[b + 1]), dir(a1, elevations[b + 1]),
                            dir(a1, elevations[b])};
                p.color = color;
                p.layer = skyLayer;
                p.twoSided = true;
                p.lit = false;
                polys << p;
            }
        }
        if (!c.flatSubjects) {
            const double az = -35, el = 24;
            balls << Ball{eye + Vec3{std::cos(radians(el)) * std::sin(radians(az)), std::sin(radians(el)),
                                     std::cos(radians(el)) * std::cos(radians(az))} *
                                    1800,
                          55, QColor(255, 246, 214), skyLayer, false};
        }
    }
};

struct ScreenVertex {
    double x, y;
    double w; // 1 / depth: larger is nearer
};

class Projector {
public:
    Projector(const Camera& camera, const Mat3& rotation, QSize size)
        : toCamera_(rotation.transposed()), eye_(camera.position), scale_(camera.focal * size.width()),
          cx_(size.width() / 2.0), cy_(size.height() / 2.0) {}

    Vec3 toCamera(const Vec3& p) const { return toCamera_ * (p - eye_); }
    ScreenVertex screen(const Vec3& c) const { return {cx_ + scale_ * c.x / c.z, cy_ - scale_ * c.y / c.z, 1.0 / c.z}; }
    double scale() const { return scale_; }

    // The polygon cut to the view (near plane and a margin around the frame) and projected; empty when
    // nothing of it is in view.
    QList<ScreenVertex> project(const QList<Vec3>& points) const {
        constexpr double kNear = 0.05;
        const double margin = 4;
        QList<Vec3> cam;
        for (const Vec3& p : points)
            cam << toCamera(p);
        // Each plane keeps the points where the (linear) function is >= 0.
        const std::function<double(const Vec3&)> planes[] = {
            [&](const Vec3& v) { return v.z - kNear; },
            [&](const Vec3& v) { return scale_ * v.x + (cx_ + margin) * v.z; },
            [&](const Vec3& v) { return -scale_ * v.x + (cx_ + margin) * v.z; },
            [&](const Vec3& v) { return scale_ * v.y + (cy_ + margin) * v.z; },
            [&](const Vec3& v) { return -scale_ * v.y + (cy_ + margin) * v.z; },
        };
        for (const auto& inside : planes) {
            QList<Vec3> kept;
            for (int i = 0; i < cam.size(); ++i) {
                const Vec3& a = cam[i];
                const Vec3& b = cam[(i + 1) % cam.size()];
                const double fa = inside(a), fb = inside(b);
                if (fa >= 0)
                    kept << a;
                if ((fa >= 0) != (fb >= 0))
                    kept << a + (b - a) * (fa / (fa - fb));
            }
            cam = kept;
            if (cam.size() < 3)
                return {};
        }
        QList<ScreenVertex> out;
        for (const Vec3& v : cam)
            out << screen(v);
        return out;
    }

private:
    Mat3 toCamera_;
    Vec3 eye_;
    double scale_, cx_, cy_;
};

// A depth-buffered rasteriser for convex polygons and balls, so that overlapping shapes hide each other
// correctly whatever their size.
class Raster {
public:
    explicit Raster(QSize size)
        : width_(size.width()), height_(size.height()), image_(size, QImage::Format_RGB32),
          depth_(size_t(size.width()) * size.height(), 0.0) {}

    QImage& image() { return image_; }

    // `bias` lifts decals above the face they lie on; translucent shapes do not write depth.
    void polygon(const QList<ScreenVertex>& v, const QColor& color, double bias = 0) {
        for (int i = 1; i + 1 < v.size(); ++i)
            triangle(v[0], v[i], v[i + 1], color, bias);
    }

    void ball(const ScreenVertex& centre, double radius, double worldRadius, const QColor& base, bool lit) {
        const double depth = 1.0 / centre.w;
        const QColor light = base.lighter(125), dark = base.darker(150);
        const double hx = centre.x - radius * 0.35, hy = centre.y - radius * 0.4;
        const int x0 = std::max(0, int(std::floor(centre.x - radius))),
                  x1 = std::min(width_ - 1, int(centre.x + radius));
        const int y0 = std::max(0, int(std::floor(centre.y - radius))),
                  y1 = std::min(height_ - 1, int(centre.y + radius));
        for (int y = y0; y <= y1; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
            for (int x = x0; x <= x1; ++x) {
                const double dx = x + 0.5 - centre.x, dy = y + 0.5 - centre.y;
                const double d2 = (dx * dx + dy * dy) / (radius * radius);
                if (d2 > 1)
                    continue;
                const double w = 1.0 / (depth - worldRadius * std::sqrt(1 - d2));
                double& stored = depth_[size_t(y) * width_ + x];
                if (w <= stored)
                    continue;
                stored = w;
                if (!lit) {
                    line[x] = base.rgb();
                    continue;
                }
                const double t = std::clamp(std::hypot(x + 0.5 - hx, y + 0.5 - hy) / (radius * 1.4), 0.0, 1.0);
                line[x] = qRgb(int(light.red() + (dark.red() - light.red()) * t),
                               int(light.green() + (dark.green() - light.green()) * t),
                               int(light.blue() + (dark.blue() - light.blue()) * t));
            }
        }
    }

private:
    void triangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const QColor& color,
                  double bias) {
        const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (std::abs(area) < 1e-9)
            return;
        const int x0 = std::max(0, int(std::floor(std::min({a.x, b.x, c.x}))));
        const int x1 = std::min(width_ - 1, int(std::ceil(std::max({a.x, b.x, c.x}))));
        const int y0 = std::max(0, int(std::floor(std::min({a.y, b.y, c.y}))));
        const int y1 = std::min(height_ - 1, int(std::ceil(std::max({a.y, b.y, c.y}))));
        const bool translucent = color.alpha() < 255;
        const QRgb rgb = color.rgb();
        const int alpha = color.alpha();
        auto edge = [](const ScreenVertex& p, const ScreenVertex& q, double x, double y) {
            return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x - p.x);
        };
        for (int y = y0; y <= y1; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
            const double py = y + 0.5;
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5;
                double w0 = edge(b, c, px, py) / area, w1 = edge(c, a, px, py) / area, w2 = edge(a, b, px, py) / area;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                const double w = (w0 * a.w + w1 * b.w + w2 * c.w) * (1 + bias);
                double& stored = depth_[size_t(y) * width_ + x];
                if (w <= stored)
                    continue;
                if (translucent) {
                    const QRgb d = line[x];
                    auto blend = [&](int src, int dst) { return (src * alpha + dst * (255 - alpha)) / 255; };
                    line[x] =
                        qRgb(blend(qRed(rgb), qRed(d)), blend(qGreen(rgb), qGreen(d)), blend(qBlue(rgb), qBlue(d)));
                    continue;
                }
                stored = w;
                line[x] = rgb;
            }
        }
    }

    int width_, height_;
    QImage image_;
    std::vector<double> depth_;
};

QColor shaded(const QColor& base, const Vec3& normal, double distance, bool lit, bool hazy, const Colours& c) {
    double light = 1.0;
    if (lit)
        light = 0.62 + 0.38 * std::max(0.0, normal.dot(kSun));
    const double fog = hazy ? 1.0 - std::exp(-distance / c.fogDistance) : 0.0;
    auto mix = [&](double value, double haze) { return std::clamp(value * light * (1 - fog) + haze * fog, 0.0, 1.0); };
    return QColor::fromRgbF(mix(base.redF(), c.haze.redF()), mix(base.greenF(), c.haze.greenF()),
                            mix(base.blueF(), c.haze.blueF()), base.alphaF());
}

void drawHands(QPainter& painter, QSize size, const Colours& c) {
    const double w = size.width(), h = size.height();
    for (int side : {-1, 1}) {
        QPainterPath hand;
        const double x = w / 2 + side * w * 0.3;
        hand.moveTo(x - side * w * 0.16, h + 5);
        hand.cubicTo(x - side * w * 0.12, h * 0.86, x - side * w * 0.02, h * 0.74, x + side * w * 0.04, h * 0.76);
        hand.cubicTo(x + side * w * 0.1, h * 0.78, x + side * w * 0.14, h * 0.9, x + side * w * 0.16, h + 5);
        hand.closeSubpath();
        QLinearGradient light(0, h * 0.74, 0, h);
        light.setColorAt(0, c.skin.lighter(108));
        light.setColorAt(1, c.skin.darker(125));
        painter.setPen(Qt::NoPen);
        painter.setBrush(light);
        painter.drawPath(hand);
        painter.setBrush(QColor(40, 40, 46));
        painter.drawRect(QRectF(x - side * w * 0.02 - w * 0.07, h * 0.9, w * 0.14, h * 0.12)); // sleeves
    }
}

void drawEyelids(QPainter& painter, QSize size) {
    const QRectF r(QPointF(0, 0), QSizeF(size));
    QRadialGradient rim(r.center(), r.width() * 0.62);
    rim.setColorAt(0.55, QColor(0, 0, 0, 0));
    rim.setColorAt(0.85, QColor(0, 0, 0, 170));
    rim.setColorAt(1.0, QColor(0, 0, 0, 245));
    painter.fillRect(r, rim);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(16, 12, 12, 235));
    QPainterPath lids;
    lids.addRect(r);
    QPainterPath eye;
    eye.moveTo(-r.width() * 0.05, r.height() * 0.5);
    eye.cubicTo(r.width() * 0.25, r.height() * 0.02, r.width() * 0.75, r.height() * 0.02, r.width() * 1.05,
                r.height() * 0.5);
    eye.cubicTo(r.width() * 0.75, r.height() * 1.02, r.width() * 0.25, r.height() * 1.02, -r.width() * 0.05,
                r.height() * 0.5);
    painter.drawPath(lids.subtracted(eye));
}

} // namespace

QImage render(const SceneSetup& setup, const Camera& camera, QSize size) {
    const Colours colours = coloursFor(setup.palette);
    const Mat3 rotation = Mat3::yaw(camera.yaw) * Mat3::pitch(camera.pitch) * Mat3::roll(camera.roll);
    World world(colours);
    world.sky(camera.position);
    world.street(setup.rooftop);
    if (setup.rooftop)
        world.roof();
    for (const Car& car : setup.cars)
        world.car(car);
    for (const Figure& figure : setup.figures)
        world.figure(figure);
    if (setup.windowFrame)
        world.windowFrame(camera, rotation);

    // Render at twice the size and average down: smooth edges.
    const QSize big = size * 2;
    const Projector projector(camera, rotation, big);
    Raster raster(big);
    raster.image().fill(colours.horizon);
    auto fill = [&](const Poly& p, double bias) {
        const QList<ScreenVertex> shape = projector.project(p.points);
        if (shape.isEmpty())
            return false;
        const double distance = (centroidOf(p.points) - camera.position).length();
        raster.polygon(shape,
                       shaded(p.color, normalOf(p.points), distance, p.lit || p.layer == groundLayer,
                              p.layer != skyLayer, colours),
                       bias);
        return true;
    };
    // Opaque shapes first, then the translucent shadows over them.
    for (int pass = 0; pass < 2; ++pass) {
        for (const Poly& p : world.polys) {
            if ((p.layer == shadowLayer) != (pass == 1))
                continue;
            if (!p.twoSided && normalOf(p.points).dot(camera.position - centroidOf(p.points)) <= 0)
                continue; // facing away
            if (!fill(p, pass == 1 ? 1e-3 : 0))
                continue;
            for (const Poly& decal : p.decals)
                fill(decal, 2e-3 * decal.level);
        }
        if (pass == 1)
            break;
        for (const Ball& b : world.balls) {
            const Vec3 c = projector.toCamera(b.centre);
            if (c.z < b.radius + 0.05)
                continue;
            const double distance = (b.centre - camera.position).length();
            raster.ball(projector.screen(c), projector.scale() * b.radius / c.z, b.radius,
                        shaded(b.color, Vec3{0, 0, -1}, distance, false, b.layer != skyLayer, colours), b.lit);
        }
    }
    QImage image = raster.image().scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (setup.hands)
        drawHands(painter, size, colours);
    if (setup.eyelids)
        drawEyelids(painter, size);
    painter.end();
    return image;
}
