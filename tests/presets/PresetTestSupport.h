#pragma once

#include "ModelContext.h"
#include "TestSupport.h"
#include "VirtualClock.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>

// Helpers of the preset tests: the real bundle, clips made with the ffmpeg tool, a store that fails.
namespace PresetTestSupport {

// The repository's resources folder (the bundle the application ships).
QString bundleRoot();

bool haveFfmpeg();
// Runs the ffmpeg tool with `arguments` (inputs, filters, codec) writing `target`; false when it failed.
bool ffmpeg(const QStringList& arguments, const QString& target);
// A short H.264 test picture clip of the given size and length.
bool makeClip(const QString& target, int width, int height, double seconds, int fps = 10);
// The same in shades of grey: its pictures can be told from a coloured clip's at any size.
bool makeGreyClip(const QString& target, int width, int height, double seconds, int fps = 10);
// Whether every pixel of `picture` is a shade of grey.
bool isGrey(const QImage& picture);

std::unique_ptr<ModelContext> openStore(const TestEnvironment& environment, const QString& name = "store.sqlite");
// Every later insert into or update of `table` fails inside SQLite, so saves that write it fail for real.
void failWrites(ModelContext& context, const QString& table);
void allowWrites(ModelContext& context, const QString& table);
// Number of rows stored (saved) in `table`.
int storedRows(ModelContext& context, const QString& table);

// Lets every running still finish and its waiting coroutine end, so nothing is left suspended.
void drainMediaWork();

// A small picture of one colour, so a test can tell which file was read.
void writePicture(const QString& path, const QColor& color, const char* format);

// What the store tests start from: own defaults and log, a virtual clock, an empty store, the real bundle.
struct StoreFixture {
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<VirtualClock> clock;
    std::unique_ptr<ModelContext> store;

    void setUp();
    void tearDown();
};

} // namespace PresetTestSupport
