// Makes the bundle's preset media: the camera-movement and cinematic preview clips and the preset pictures,
// all rendered from the procedural street of Scene.cpp. Clips are encoded with the ffmpeg command-line tool.
//
//   make_preset_media [--out DIR] [--only NAME]...

#include "Scene.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr QSize kClipSize(512, 288);
constexpr int kFramesPerSecond = 24;
constexpr int kClipFrames = 4 * kFramesPerSecond;
constexpr qint64 kMaxBytes = 300 * 1024;

struct Shot {
    Camera camera;
    SceneSetup setup;
};
using ShotAt = std::function<Shot(double t, double seconds)>;

double ease(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

double mix(double a, double b, double t) {
    return a + (b - a) * t;
}

// Turns the camera towards a point.
void lookAt(Camera& camera, const Vec3& target) {
    const Vec3 d = target - camera.position;
    camera.yaw = std::atan2(d.x, d.z) * 180 / kPi;
    camera.pitch = std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z)) * 180 / kPi;
}

SceneSetup street(QList<Figure> figures = {Figure{{0, 0, 16}, 180}}) {
    SceneSetup setup;
    setup.figures = std::move(figures);
    setup.cars = {Car{{-1.8, 0, 25}, 0}, Car{{1.8, 0, 40}, 180}};
    return setup;
}

Figure walker(Vec3 at, double heading, double seconds) {
    return Figure{at, heading, seconds * 2 * kPi, 28};
}

// Single camera movements: each changes one thing about the camera.
Shot single(double t, const std::function<void(Camera&, double)>& move) {
    Shot shot{Camera{}, street()};
    shot.camera.pitch = -2;
    move(shot.camera, ease(t));
    return shot;
}

struct Clip {
    QString name;
    ShotAt shot;
};

QList<Clip> clips() {
    const Vec3 subject{0, 1.2, 16};
    QList<Clip> list = {
        {"left_movement",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.position.x = mix(2.5, -2.5, e); }); }},
        {"right_movement",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.position.x = mix(-2.5, 2.5, e); }); }},
        {"push_in",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.position.z = mix(-4, 9, e); }); }},
        {"push_out",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.position.z = mix(9, -4, e); }); }},
        {"pan_left", [](double t, double) { return single(t, [](Camera& c, double e) { c.yaw = mix(24, -24, e); }); }},
        {"pan_right", [](double t, double) { return single(t, [](Camera& c, double e) { c.yaw = mix(-24, 24, e); }); }},
        {"tilt_up", [](double t, double) { return single(t, [](Camera& c, double e) { c.pitch = mix(-22, 24, e); }); }},
        {"tilt_down",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.pitch = mix(24, -22, e); }); }},
        {"pedestal_up",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.position.y = mix(0.8, 7.5, e); }); }},
        {"pedestal_down",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.position.y = mix(7.5, 0.8, e); }); }},
        {"zoom_in",
         [](double t, double) { return single(t, [](Camera& c, double e) { c.focal = mix(0.8, 2.6, e); }); }},
        {"tracking_shot",
         [](double t, double seconds) {
             // A car drives down the street; the camera keeps the same place behind it.
             const double z = 8 + 36 * t;
             Shot shot{Camera{}, street({walker({-4.8, 0, 30 - 4 * t}, 180, seconds)})};
             shot.setup.cars = {Car{{1.8, 0, z}, 0}, Car{{-1.8, 0, 70 - 30 * t}, 180}};
             shot.camera.position = {0.9, 2.1, z - 8.5};
             lookAt(shot.camera, {1.8, 0.9, z + 6});
             return shot;
         }},
        {"default_movement",
         [](double t, double) {
             Shot shot{Camera{}, street()};
             shot.camera.position = {mix(-0.6, 0.6, ease(t)), 1.7, mix(0, 2, ease(t))};
             shot.camera.yaw = mix(-3, 3, ease(t));
             shot.camera.pitch = -2;
             return shot;
         }},
        // Cinematic combinations.
        {"debut_preview",
         [subject](double t, double) {
             Shot shot{Camera{}, street()};
             const double e = ease(t);
             shot.camera.position = {mix(4.5, -4.5, e), 1.6, mix(-2, 7, e)};
             lookAt(shot.camera, subject);
             return shot;
         }},
        {"freedom_preview",
         [subject](double t, double) {
             Shot shot{Camera{}, street()};
             const double e = ease(t);
             shot.camera.position = {0.4, mix(1.6, 10, e), mix(9, -6, e)};
             lookAt(shot.camera, subject);
             return shot;
         }},
        {"left_circling_preview",
         [](double t, double seconds) {
             const Vec3 at{0, 0, 14 + 2.5 * t};
             Shot shot{Camera{}, street({walker(at, 0, seconds)})};
             const double angle = radians(mix(-150, -250, ease(t))); // the camera swings round to the left
             shot.camera.position = at + Vec3{6 * std::sin(angle), 1.8, 6 * std::cos(angle)};
             lookAt(shot.camera, at + Vec3{0, 1.1, 0});
             return shot;
         }},
        {"right_circling_preview",
         [](double t, double seconds) {
             const Vec3 at{0, 0, 14 + 2.5 * t};
             Shot shot{Camera{}, street({walker(at, 0, seconds)})};
             const double angle = radians(mix(150, 250, ease(t)));
             shot.camera.position = at + Vec3{6 * std::sin(angle), 1.8, 6 * std::cos(angle)};
             lookAt(shot.camera, at + Vec3{0, 1.1, 0});
             return shot;
         }},
        {"upward_tilt_preview",
         [](double t, double) {
             Shot shot{Camera{}, street()};
             const double e = ease(t);
             shot.camera.position = {0, mix(0.9, 5.5, e), mix(-4, 7, e)};
             shot.camera.pitch = -4;
             return shot;
         }},
        {"left_walking_preview",
         [](double t, double seconds) {
             const Vec3 at{mix(3.5, -3.5, t), 0, 14};
             Shot shot{Camera{}, street({walker(at, -90, seconds)})};
             shot.camera.position = {at.x, 1.5, 7};
             lookAt(shot.camera, at + Vec3{0, 1.0, 0});
             return shot;
         }},
        {"right_walking_preview",
         [](double t, double seconds) {
             const Vec3 at{mix(-3.5, 3.5, t), 0, 14};
             Shot shot{Camera{}, street({walker(at, 90, seconds)})};
             shot.camera.position = {at.x, 1.5, 7};
             lookAt(shot.camera, at + Vec3{0, 1.0, 0});
             return shot;
         }},
        {"downward_tilt_preview",
         [](double t, double) {
             Shot shot{Camera{}, street()};
             const double e = ease(t);
             shot.camera.position = {0.3, mix(9, 1.2, e), 2};
             shot.camera.pitch = mix(-32, 10, e);
             return shot;
         }},
        {"stage_left_preview",
         [](double t, double) {
             Shot shot{Camera{}, street({Figure{{-2.6, 0, 16}, 160}})};
             const double e = ease(t);
             shot.camera.yaw = mix(16, -9.2, e);
             shot.camera.pitch = -1;
             shot.camera.focal = mix(0.85, 2.0, e);
             return shot;
         }},
        {"stage_right_preview",
         [](double t, double) {
             Shot shot{Camera{}, street({Figure{{2.6, 0, 16}, 200}})};
             const double e = ease(t);
             shot.camera.yaw = mix(-16, 9.2, e);
             shot.camera.pitch = -1;
             shot.camera.focal = mix(0.85, 2.0, e);
             return shot;
         }},
        {"scenic_shot_preview",
         [](double t, double) {
             Shot shot{Camera{}, street()};
             const double e = ease(t);
             shot.camera.position = {mix(4, -4, e), mix(1.4, 7.5, e), 0};
             shot.camera.pitch = mix(-2, -7, e);
             return shot;
         }},
    };
    return list;
}

struct Still {
    QString name;
    QString folder; // empty: the top level
    QSize size;
    std::function<Shot()> shot;
};

Shot aimed(SceneSetup setup, Vec3 from, Vec3 at, double roll = 0, double focal = 0.95) {
    Shot shot{Camera{}, std::move(setup)};
    shot.camera.position = from;
    lookAt(shot.camera, at);
    shot.camera.roll = roll;
    shot.camera.focal = focal;
    return shot;
}

QList<Still> stills() {
    const QSize tile(480, 360);
    const QSize wide(640, 360);
    return {
        {"preset_dutch",
         {},
         tile,
         [] {
             return aimed(street(), {0.6, 1.5, 8}, {0, 1.2, 16}, 22);
         }},
        {"preset_canted",
         {},
         tile,
         [] {
             return aimed(street(), {-1.6, 2.3, 6.5}, {0.2, 1.0, 18}, -13);
         }},
        {"preset_pov",
         {},
         tile,
         [] {
             Shot shot = aimed(street({Figure{{0.6, 0, 13}, 180}}), {0, 1.62, 4}, {0.2, 1.0, 14});
             shot.setup.hands = true;
             return shot;
         }},
        {"preset_view_from_eyes",
         {},
         tile,
         [] {
             Shot shot = aimed(street({Figure{{-0.3, 0, 10}, 180}}), {0.3, 1.65, 5.5}, {-0.2, 1.5, 12});
             shot.setup.eyelids = true;
             return shot;
         }},
        {"preset_low_angle",
         {},
         tile,
         [] {
             return aimed(street(), {0.7, 0.3, 11}, {0, 1.6, 16});
         }},
        {"preset_worms_eye",
         {},
         tile,
         [] {
             return aimed(street(), {0.3, 0.08, 12.6}, {0, 2.6, 16.5}, 0, 0.62);
         }},
        {"preset_birds_eye",
         {},
         tile,
         [] {
             SceneSetup setup = street({Figure{{0.8, 0, 18}, 120}});
             setup.cars = {Car{{-1.8, 0, 14}, 0}, Car{{1.8, 0, 24}, 180}};
             Shot shot = aimed(setup, {0, 34, 18}, {0, 0, 18.001}, 0, 0.8);
             shot.camera.yaw = 0;
             return shot;
         }},
        {"preset_straight",
         {},
         tile,
         [] {
             return aimed(street(), {0, 1.3, 9}, {0, 1.3, 16});
         }},
        {"preset_rear",
         {},
         tile,
         [] {
             return aimed(street({Figure{{0, 0, 16}, 0}}), {0.5, 1.8, 12.2}, {0, 1.3, 22});
         }},
        {"preset_head_on",
         {},
         tile,
         [] {
             SceneSetup setup = street({});
             setup.cars = {Car{{0, 0, 9}, 180}};
             return aimed(setup, {0, 1.0, 2.2}, {0, 0.8, 9}, 0, 1.05);
         }},
        {"preset_through_object",
         {},
         tile,
         [] {
             Shot shot = aimed(street({Figure{{1.1, 0, 15}, 200}}), {0, 1.6, 3}, {0.4, 1.2, 15});
             shot.setup.windowFrame = true;
             return shot;
         }},
        {"preset_action_street", "DefaultImagePresets", wide,
         [] {
             SceneSetup setup;
             setup.palette = Palette::clay;
             setup.figures = {Figure{{0, 0, 12}, 200, kPi / 2, 42}, Figure{{2.6, 0, 17}, 160, kPi * 1.3, 38}};
             return aimed(setup, {1.2, 0.35, 7.5}, {0.4, 1.9, 13});
         }},
        {"preset_crime_rooftop", "DefaultImagePresets", wide,
         [] {
             SceneSetup setup;
             setup.palette = Palette::clay;
             setup.rooftop = true;
             setup.figures = {Figure{{-10.1, kRoofHeight, 24}, 75}};
             return aimed(setup, {-14.2, kRoofHeight + 2.1, 22.6}, {2, kRoofHeight - 3.5, 28});
         }},
    };
}

bool encode(const QList<QImage>& frames, const QString& target, int crf, QString* error) {
    const QString partial = target + ".part.mp4";
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start("ffmpeg", {"-nostdin",    "-v",
                            "error",       "-y",
                            "-f",          "rawvideo",
                            "-pix_fmt",    "bgra",
                            "-video_size", QString("%1x%2").arg(kClipSize.width()).arg(kClipSize.height()),
                            "-framerate",  QString::number(kFramesPerSecond),
                            "-i",          "pipe:0",
                            "-c:v",        "libx264",
                            "-preset",     "slow",
                            "-crf",        QString::number(crf),
                            "-pix_fmt",    "yuv420p",
                            "-movflags",   "+faststart",
                            "-an",         "-map_metadata",
                            "-1",          "-fflags",
                            "+bitexact",   "-flags:v",
                            "+bitexact",   partial});
    if (!ffmpeg.waitForStarted()) {
        *error = "the ffmpeg command-line tool could not be started";
        return false;
    }
    for (const QImage& frame : frames) {
        ffmpeg.write(reinterpret_cast<const char*>(frame.constBits()), frame.sizeInBytes());
        ffmpeg.waitForBytesWritten(-1);
    }
    ffmpeg.closeWriteChannel();
    ffmpeg.waitForFinished(-1);
    if (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        QFile::remove(partial);
        *error = "ffmpeg failed";
        return false;
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        *error = "could not move the clip into place";
        return false;
    }
    return true;
}

bool makeClip(const Clip& clip, const QDir& out) {
    QList<QImage> frames;
    for (int i = 0; i < kClipFrames; ++i) {
        const double seconds = double(i) / kFramesPerSecond;
        const Shot shot = clip.shot(double(i) / (kClipFrames - 1), seconds);
        frames << render(shot.setup, shot.camera, kClipSize);
    }
    const QString target = out.filePath(clip.name + ".mp4");
    for (int crf = 22; crf <= 40; crf += 3) {
        QString error;
        if (!encode(frames, target, crf, &error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(clip.name), qPrintable(error));
            return false;
        }
        const qint64 bytes = QFileInfo(target).size();
        if (bytes < kMaxBytes) {
            std::printf("%-28s %7lld bytes (crf %d)\n", qPrintable(clip.name + ".mp4"), bytes, crf);
            return true;
        }
    }
    std::fprintf(stderr, "%s: still over %lld bytes at the lowest quality\n", qPrintable(clip.name), kMaxBytes);
    return false;
}

bool makeStill(const Still& still, const QDir& out) {
    QDir folder = out;
    if (!still.folder.isEmpty()) {
        folder.mkpath(still.folder);
        folder.cd(still.folder);
    }
    const Shot shot = still.shot();
    // Render at twice the size and scale down: smoother edges.
    const QImage picture = render(shot.setup, shot.camera, still.size * 2)
                               .scaled(still.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString target = folder.filePath(still.name + ".jpg");
    QImageWriter writer(target + ".part", "jpeg");
    writer.setQuality(88);
    writer.setOptimizedWrite(true);
    if (!writer.write(picture)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(still.name), qPrintable(writer.errorString()));
        return false;
    }
    QFile::remove(target);
    QFile::rename(target + ".part", target);
    std::printf("%-28s %7lld bytes\n", qPrintable(still.name + ".jpg"), QFileInfo(target).size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString outPath = "resources";
    QStringList only;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size())
            outPath = args[++i];
        else if (args[i] == "--only" && i + 1 < args.size())
            only << args[++i];
        else {
            std::fprintf(stderr, "usage: make_preset_media [--out DIR] [--only NAME]...\n");
            return 2;
        }
    }
    QDir out(outPath);
    if (!out.exists() && !QDir().mkpath(outPath)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outPath));
        return 1;
    }
    bool ok = true;
    for (const Still& still : stills()) {
        if (only.isEmpty() || only.contains(still.name))
            ok = makeStill(still, out) && ok;
    }
    for (const Clip& clip : clips()) {
        if (only.isEmpty() || only.contains(clip.name))
            ok = makeClip(clip, out) && ok;
    }
    return ok ? 0 : 1;
}
