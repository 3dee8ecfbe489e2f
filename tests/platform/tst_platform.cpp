#include "AppPaths.h"
#include "CheckedWrite.h"
#include "CraftedPng.h"
#include "Defaults.h"
#include "DiskFaults.h"
#include "FolderBookmark.h"
#include "HttpHeaders.h"
#include "ImageCoding.h"
#include "LatestResult.h"
#include "NoReplaceMove.h"
#include "PhonePhoto.h"
#include "Resources.h"
#include "RetryAfter.h"
#include "ServiceConfig.h"
#include "SmallDisk.h"
#include "Sounds.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPromise>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <QScopeGuard>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <sys/stat.h>

#include <jpeglib.h>

int modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

// A 1 x 1 GIF: Qt reads GIF but cannot write it.
const char kTinyGifBytes[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                             ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
const QByteArray kTinyGif(kTinyGifBytes, sizeof(kTinyGifBytes) - 1);

// A CMYK JPEG as print tools write it (inverted inks): Qt cannot write one.
QByteArray cmykJpeg(const QImage& picture) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &out, &length);
    cinfo.image_width = JDIMENSION(picture.width());
    cinfo.image_height = JDIMENSION(picture.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    for (QByteArray row; cinfo.next_scanline < cinfo.image_height; row.clear()) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor ink = picture.pixelColor(x, int(cinfo.next_scanline)).toCmyk();
            row.append(char(~ink.cyan()))
                .append(char(~ink.magenta()))
                .append(char(~ink.yellow()))
                .append(char(~ink.black()));
        }
        auto* line = reinterpret_cast<JSAMPLE*>(row.data());
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(length));
    free(out);
    return bytes;
}

class PlatformTests : public QObject {
    Q_OBJECT
private slots:
    void defaultsTypedReadsFallBack() {
        TestEnvironment env;
        Defaults& d = Defaults::standard();
        QVERIFY(!d.contains("absent"));
        QCOMPARE(d.boolValue("absent"), false);
        QCOMPARE(d.integer("absent"), 0);
        QVERIFY(!d.string("absent"));
        QVERIFY(!d.data("absent"));

        d.set("flag", true);
        d.set("count", 10);
        d.set("text", QStringLiteral("768P"));
        d.set("empty", QString());
        d.set("blob", QByteArray("/tmp/folder"));
        QVERIFY(d.boolValue("flag"));
        QCOMPARE(d.integer("count"), 10);
        QCOMPARE(*d.string("text"), QStringLiteral("768P"));
        // An empty string is stored, not removed.
        QVERIFY(d.contains("empty"));
        QCOMPARE(*d.string("empty"), QString());
        QCOMPARE(*d.data("blob"), QByteArray("/tmp/folder"));
        // Data is not a string, and a string is not data.
        QVERIFY(!d.string("blob"));
        QVERIFY(!d.data("text"));

        // Hand-edited nonsense reads as the typed fallback instead of failing.
        d.set("count", QStringLiteral("ten"));
        QCOMPARE(d.integer("count"), 0);
        d.set("count", QStringLiteral("1e300"));
        QCOMPARE(d.integer("count"), 0);
        d.set("flag", QStringLiteral("maybe"));
        QCOMPARE(d.boolValue("flag"), false);

        d.remove("text");
        QVERIFY(!d.contains("text"));
    }

    void defaultsAreWrittenToDiskAtOnce() {
        TestEnvironment env;
        Defaults::standard().set("videoQuality", QStringLiteral("1080P"));
        QSettings raw(env.defaultsFile(), QSettings::IniFormat);
        QCOMPARE(raw.value("videoQuality").toString(), QStringLiteral("1080P"));
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
        Defaults::standard().set("lastBackupDate", when);
        QCOMPARE(*Defaults::standard().date("lastBackupDate"), when);
    }

    void serviceConfigOverridesOnlyValidAddresses() {
        TestEnvironment env;
        const ServiceConfig builtIn = ServiceConfig::builtIn();
        QCOMPARE(builtIn.geminiBaseUrl, QUrl("https://generativelanguage.googleapis.com"));
        QCOMPARE(builtIn.miniMaxGroupId, QStringLiteral("5820147736091248813"));

        Defaults& d = Defaults::standard();
        d.set("Services/geminiBaseURL", QStringLiteral("http://127.0.0.1:8080"));
        d.set("Services/miniMaxBaseURL", QStringLiteral("ftp://example.org"));
        d.set("Services/updateFeedURL", QStringLiteral("not a url"));
        d.set("Services/miniMaxGroupId", QStringLiteral(" 42 "));
        const ServiceConfig config = ServiceConfig::fromDefaults(d);
        QCOMPARE(config.geminiBaseUrl, QUrl("http://127.0.0.1:8080"));
        QCOMPARE(config.miniMaxBaseUrl, builtIn.miniMaxBaseUrl);
        QCOMPARE(config.updateFeedUrl, builtIn.updateFeedUrl);
        QCOMPARE(config.miniMaxGroupId, QStringLiteral("42"));
    }

    void headerValuesNeverCarryLineBreaks() {
        QCOMPARE(headerValue(u"abc\r\ndef\n"), QByteArray("abcdef"));
        QCOMPARE(headerValue(QString::fromLatin1("a\0b", 3)), QByteArray("ab"));
        QCOMPARE(bearerHeaderValue(u"key\r\nX-Injected: 1"), QByteArray("Bearer keyX-Injected: 1"));
        QCOMPARE(headerValue(u"  spaced key "), QByteArray("  spaced key "));
    }

    void retryAfterAcceptsOnlyUsableSeconds() {
        QCOMPARE(retryAfterSeconds("5"), std::optional<double>(5.0));
        QCOMPARE(retryAfterSeconds(" 120 "), std::optional<double>(120.0));
        QCOMPARE(retryAfterSeconds("0.5"), std::optional<double>(0.5));
        QCOMPARE(retryAfterSeconds("0"), std::optional<double>(0.0));
        QCOMPARE(retryAfterSeconds("600"), std::optional<double>(600.0));
        for (const char* absurd : {"600.5", "-1", "nan", "inf", "-inf", "1e12", "1e400"})
            QCOMPARE(retryAfterSeconds(absurd), std::optional<double>(600.0));
        QVERIFY(!retryAfterSeconds(""));
        QVERIFY(!retryAfterSeconds("Wed, 21 Oct 2015 07:28:00 GMT"));
    }

    void folderBookmarksResolveOnlyExistingFolders() {
        TestEnvironment env;
        QDir().mkpath(env.path("videos"));
        const auto bookmark = FolderBookmark::create(env.path("videos"));
        QVERIFY(bookmark);
        QCOMPARE(*FolderBookmark::resolve(*bookmark), QDir(env.path("videos")).absolutePath());

        QString error;
        QVERIFY(!FolderBookmark::create(env.path("missing"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!FolderBookmark::resolve(QByteArray("relative/path"), &error));
        QVERIFY(!FolderBookmark::resolve(QByteArray(), &error));

        // A folder deleted after it was chosen no longer resolves, and says so once on the console.
        QDir(env.path("videos")).removeRecursively();
        QVERIFY(!FolderBookmark::resolveForUse(*bookmark, "Resolve video bookmark error: "));
        QVERIFY(env.hasLineStartingWith("Resolve video bookmark error: "));
        QVERIFY(!FolderBookmark::resolveForUse(std::nullopt, "x"));
    }

    void resourcesAreFoundByNameAndExtension() {
        TestEnvironment env;
        QDir().mkpath(env.path("bundle/Clips"));
        QFile(env.path("bundle/top.png")).open(QIODevice::WriteOnly);
        QFile(env.path("bundle/Clips/pan_left.mp4")).open(QIODevice::WriteOnly);
        Resources::setRoot(env.path("bundle"));
        QVERIFY(Resources::path("top", "png"));
        QVERIFY(Resources::path("pan_left", "mp4"));
        QVERIFY(!Resources::path("pan_left", "mov"));
        QVERIFY(!Resources::path("../bundle/top", "png"));
        QVERIFY(Resources::folder("Clips"));
        QVERIFY(!Resources::folder("Missing"));
    }

    void soundsAreListedByNameInPlainOrder() {
        TestEnvironment env;
        QDir().mkpath(env.path("sounds"));
        for (const char* name : {"message.oga", "Glass.wav", "bell.ogg", "notes.txt", "complete.aiff", "a.oga"})
            QFile(env.path("sounds/") + name).open(QIODevice::WriteOnly);
        bool ok = false;
        // Upper case sorts before lower case in plain code-point order.
        QCOMPARE(Sounds::availableNames(&ok), (QStringList{"Glass", "a", "bell", "message"}));
        QVERIFY(ok);
        QVERIFY(Sounds::pathForName("bell"));
        QVERIFY(!Sounds::pathForName("notes"));
        Sounds::setFolder(env.path("nowhere"));
        QVERIFY(Sounds::availableNames(&ok).isEmpty());
        QVERIFY(!ok);
    }

    void imageCodingRejectsEmptyPictures() {
        QVERIFY(!ImageCoding::jpegData(QImage(), 0.7));
        QVERIFY(!ImageCoding::jpegData(QImage(0, 10, QImage::Format_RGB32), 0.7));
        QVERIFY(!ImageCoding::jpegData(QImage(4, 4, QImage::Format_RGB32), std::nan("")));
        QImage transparent(8, 8, QImage::Format_ARGB32);
        transparent.fill(Qt::transparent);
        const auto jpeg = ImageCoding::jpegData(transparent, 0.7);
        QVERIFY(jpeg);
        QVERIFY(jpeg->startsWith("\xFF\xD8"));
        // Transparent pixels become white, not black.
        QVERIFY(qRed(ImageCoding::decode(*jpeg).pixel(4, 4)) > 240);
        QVERIFY(ImageCoding::decode("not a picture").isNull());
    }

    // The encoder is ours: colours and formats come back as they went in, and a length limit or a stop ends it early.
    void jpegKeepsColoursAndStopsWhenTold() {
        QImage picture(64, 48, QImage::Format_RGB888);
        picture.fill(QColor(200, 40, 90));
        for (const QImage& source : {picture, picture.convertToFormat(QImage::Format_RGB32),
                                     picture.convertToFormat(QImage::Format_Grayscale8)}) {
            const auto jpeg = ImageCoding::jpegData(source, 0.9);
            QVERIFY(jpeg);
            const QImage back = ImageCoding::decode(*jpeg);
            QCOMPARE(back.size(), source.size());
            const QColor expected = source.pixelColor(10, 10), got = back.pixelColor(10, 10);
            QVERIFY2(std::abs(got.red() - expected.red()) <= 4 && std::abs(got.green() - expected.green()) <= 4 &&
                         std::abs(got.blue() - expected.blue()) <= 4,
                     qPrintable(got.name() + " for " + expected.name()));
        }

        QImage detail(640, 480, QImage::Format_RGB32);
        quint32 state = 1;
        for (int y = 0; y < detail.height(); ++y) {
            for (int x = 0; x < detail.width(); ++x) {
                state = state * 1664525u + 1013904223u;
                detail.setPixel(x, y, state | 0xff000000u);
            }
        }
        const QByteArray whole = *ImageCoding::jpegData(detail, 0.8);
        QCOMPARE(*ImageCoding::jpegData(detail, 0.8, whole.size()), whole);
        QVERIFY(!ImageCoding::jpegData(detail, 0.8, whole.size() - 1));
        // Far too long: it stops well before the end.
        double reached = 0;
        QVERIFY(!ImageCoding::jpegData(detail, 0.8, whole.size() / 4, [&](double rows, qint64) {
            reached = rows;
            return true;
        }));
        QVERIFY2(reached < 0.5, qPrintable(QString::number(reached)));
        int calls = 0;
        QVERIFY(!ImageCoding::jpegData(detail, 0.8, -1, [&](double, qint64) { return ++calls < 3; }));
        QCOMPARE(calls, 3);
    }

    void aFreshHomeGetsPrivateFoldersAndSettings() {
        TestEnvironment env;
        const QString home = env.path("home");
        const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + "/.config"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/.local/share"));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home + "/.cache"));
        const mode_t savedMask = ::umask(022);
        Defaults::setFilePath({});
        AppPaths::setRoot({});
        const auto restore = qScopeGuard([&] {
            ::umask(savedMask);
            qputenv("XDG_CONFIG_HOME", savedConfig);
            qputenv("XDG_DATA_HOME", savedData);
            qputenv("XDG_CACHE_HOME", savedCache);
            Defaults::setFilePath(env.defaultsFile());
            AppPaths::setRoot(env.root());
        });

        Defaults::standard().set("googleAPIKey", "secret");
        const QString settingsFile = home + "/.config/Orvane/Orvane.ini";
        QCOMPARE(Defaults::filePath(), settingsFile);
        QCOMPARE(modeOf(settingsFile), 0600);
        QCOMPARE(modeOf(home + "/.config/Orvane"), 0700);
        QCOMPARE(AppPaths::dataFolder(), home + "/.local/share/Orvane");
        QCOMPARE(modeOf(AppPaths::dataFolder()), 0700);
        QCOMPARE(modeOf(AppPaths::cacheFolder()), 0700);
        // Folders above ours are the user's own business.
        QCOMPARE(modeOf(home + "/.local/share"), 0755);
        // Replacing the file on a later write keeps it private.
        Defaults::standard().set("miniMaxAPIKey", "another");
        QCOMPARE(modeOf(settingsFile), 0600);
    }

    void anExistingSettingsFileIsTightenedWithoutChange() {
        TestEnvironment env;
        const QString folder = env.path("loose");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        const QString file = folder + "/Orvane.ini";
        const QByteArray contents = "[General]\ngoogleAPIKey=kept\n";
        {
            QFile loose(file);
            QVERIFY(loose.open(QIODevice::WriteOnly));
            loose.write(contents);
        }
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);
        Defaults::setFilePath(file);
        QCOMPARE(Defaults::standard().string("googleAPIKey"), std::optional<QString>("kept"));
        QCOMPARE(modeOf(file), 0600);
        QCOMPARE(modeOf(folder), 0700);
        QFile read(file);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), contents);
    }

    // On a full disk a write is refused as a whole, and what was under the name before stays as it was.
    void aWriteThatDoesNotFitKeepsThePreviousFile() {
        SmallDisk disk(64 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        const QString path = disk.filePath("records.json");
        QString error;
        QVERIFY2(CheckedWrite::writeFile(path, QByteArray(4000, 'a'), &error), qPrintable(error));
        disk.fill(1000);

        // Larger than what is left: refused with the system's reason, the old file whole, no temporary left.
        QVERIFY(!CheckedWrite::writeFile(path, QByteArray(20000, 'b'), &error));
        QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray(4000, 'a'));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // records.json, .ballast

        // Piece by piece: the first failing piece is remembered, commit refuses, the old file stays.
        CheckedWrite::SaveFile file(path);
        QVERIFY(file.open(&error));
        bool allWritten = true;
        for (int i = 0; i < 10; ++i)
            allWritten = file.write(QByteArray(4000, 'c')) && allWritten;
        QVERIFY(!allWritten);
        QVERIFY(!file.commit(&error));
        QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QVERIFY(old.seek(0));
        QCOMPARE(old.readAll(), QByteArray(4000, 'a'));

        // Once there is room again the same write is kept, with the permissions asked for.
        disk.freeSpace();
        QVERIFY2(CheckedWrite::writeFile(path, QByteArray(20000, 'b'), &error,
                                         QFileDevice::ReadOwner | QFileDevice::WriteOwner),
                 qPrintable(error));
        QCOMPARE(QFileInfo(path).size(), 20000);
        QCOMPARE(modeOf(path), 0600);
    }
    // A write the disk did not keep (its sync failed, or the file holds less than was written) is reported as failed,
    // and nothing is called kept under its name: the previous file stays, a new one is not there.
    void aWriteTheDiskDidNotKeepIsReportedAsFailed_data() {
        QTest::addColumn<bool>("replacing"); // through SaveFile::commit, else writeNewFile
        QTest::addColumn<int>("syncError");  // else the file is a byte short
        QTest::newRow("commit: the sync fails") << true << EIO;
        QTest::newRow("commit: the file is short") << true << 0;
        QTest::newRow("new file: the file is short") << false << 0;
    }

    void aWriteTheDiskDidNotKeepIsReportedAsFailed() {
        QFETCH(bool, replacing);
        QFETCH(int, syncError);
        QTemporaryDir dir;
        const QString path = dir.filePath("kept.json");
        QString why;
        QVERIFY(CheckedWrite::writeFile(path, "before", &why));
        const FailingDisk disk(syncError, syncError ? 0 : 1);
        const QByteArray bytes(100, 'x');
        QVERIFY(replacing ? !CheckedWrite::writeFile(path, bytes, &why)
                          : !CheckedWrite::writeNewFile(path, bytes, &why));
        QCOMPARE(why, syncError ? QString::fromLocal8Bit(strerror(EIO)) : "Only 99 of 100 bytes reached the disk");
        QFile kept(path);
        QCOMPARE(kept.open(QIODevice::ReadOnly) ? kept.readAll() : "none", replacing ? "before" : "none");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), replacing ? 1 : 0);
    }

    // A settings write the disk refuses: the file keeps what it had, the change stays in memory, the user is told
    // once (with the system's reason) however many writes fail, and the next write once there is room saves all.
    void aRefusedSettingsWriteIsToldOnceAndCaughtUpLater() {
        TestEnvironment env;
        ScriptedDialogs dialogs;
        SmallDisk disk(64 * 1024);
        QVERIFY2(disk.isMounted(), qPrintable(disk.error()));
        const QString path = disk.filePath("config/Orvane.ini");
        Defaults::setFilePath(path);
        const auto restore = qScopeGuard([&] { Defaults::setFilePath(env.defaultsFile()); });
        // Read from a copy: settings objects of one process share what they hold for one file, written or not.
        const auto stored = [&](const QString& key) {
            const QString copy = env.path("copy.ini");
            QFile::remove(copy);
            return QFile::copy(path, copy) ? QSettings(copy, QSettings::IniFormat).value(key) : QVariant();
        };
        Defaults& defaults = Defaults::standard();
        defaults.set("googleAPIKey", "first");
        disk.fill();

        for (const char* typed : {"k", "ke", "key"})
            defaults.set("miniMaxAPIKey", typed);
        QCOMPARE(dialogs.notices.size(), 1);
        QCOMPARE(dialogs.notices.first().message, "Your settings could not be saved");
        QVERIFY2(dialogs.notices.first().informativeText.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                 qPrintable(dialogs.notices.first().informativeText));
        QCOMPARE(env.logLines().filter("Failed to save settings").size(), 1);
        QCOMPARE(stored("googleAPIKey").toString(), "first");
        QVERIFY(!stored("miniMaxAPIKey").isValid());
        QCOMPARE(defaults.string("miniMaxAPIKey"), std::optional<QString>("key"));

        disk.freeSpace();
        defaults.set("videoQuality", "1080P");
        QCOMPARE(stored("miniMaxAPIKey").toString(), "key");
        QCOMPARE(stored("videoQuality").toString(), "1080P");
        QCOMPARE(stored("googleAPIKey").toString(), "first");
        QCOMPARE(dialogs.notices.size(), 1);
        QCOMPARE(env.logLines().filter("Settings saved again").size(), 1);

        // A new run of failures is told again.
        disk.fill();
        defaults.remove("videoQuality");
        QCOMPARE(dialogs.notices.size(), 2);
        QCOMPARE(stored("videoQuality").toString(), "1080P");
    }

    void aMoveNeverReplacesAnExistingName() {
        TestEnvironment env;
        const auto write = [](const QString& path, const QByteArray& bytes) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        const auto read = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QVERIFY(write(env.path("new.part"), "new clip"));
        QVERIFY(write(env.path("taken.mp4"), "old clip"));
        QCOMPARE(NoReplaceMove::move(env.path("new.part"), env.path("taken.mp4")).outcome,
                 NoReplaceMove::Outcome::nameTaken);
        QCOMPARE(read(env.path("taken.mp4")), "old clip");
        QCOMPARE(read(env.path("new.part")), "new clip");
        QCOMPARE(NoReplaceMove::move(env.path("new.part"), env.path("free.mp4")).outcome,
                 NoReplaceMove::Outcome::moved);
        QCOMPARE(read(env.path("free.mp4")), "new clip");
        QVERIFY(!QFile::exists(env.path("new.part")));
        const auto missing = NoReplaceMove::move(env.path("free.mp4"), env.path("no/such/folder/x.mp4"));
        QCOMPARE(missing.outcome, NoReplaceMove::Outcome::failed);
        QVERIFY(!missing.error.isEmpty());
        QCOMPARE(read(env.path("free.mp4")), "new clip");
    }

    void onlyRasterBytesAreDecoded_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("decoded");
        QTest::newRow("png") << QByteArray("png") << true;
        QTest::newRow("jpeg") << QByteArray("jpeg") << true;
        QTest::newRow("gif") << QByteArray("gif") << true;
        QTest::newRow("webp") << QByteArray("webp") << true;
        QTest::newRow("tiff") << QByteArray("tiff") << false;
        QTest::newRow("bmp") << QByteArray("bmp") << false;
        QTest::newRow("ico") << QByteArray("ico") << false;
    }

    void onlyRasterBytesAreDecoded() {
        QFETCH(QByteArray, format);
        QFETCH(bool, decoded);
        QImage picture(6, 4, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QByteArray bytes = format == "gif" ? kTinyGif : QByteArray();
        QBuffer buffer(&bytes);
        if (bytes.isEmpty()) {
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(QImageWriter(&buffer, format).write(picture));
        }
        QVERIFY(!QImage::fromData(bytes).isNull()); // Qt itself would read it
        const QImage result = ImageCoding::decode(bytes);
        QCOMPARE(!result.isNull(), decoded);
        QCOMPARE(ImageCoding::rasterFormat(bytes).isEmpty(), !decoded);
        if (decoded)
            QCOMPARE(result.size(), format == "gif" ? QSize(1, 1) : QSize(6, 4));
    }

    // A user's picture is read reduced while it decodes and upright. A phone photo of 48 megapixels is over Qt's
    // allocation limit at full size: refused there, unless it may come back as large as the limit allows.
    void aPhonePhotoIsReadReducedAndUpright() {
        TestEnvironment env;
        const QString photo = env.path("IMG_0001.JPG");
        QVERIFY(PhonePhoto::write(photo, 6));
        ImageCoding::PictureRequest fit;
        fit.box = QSize(800, 800);
        const ImageCoding::ReadPicture fitted = ImageCoding::readPictureFile(photo, fit);
        QCOMPARE(fitted.image.size(), QSize(600, 800));
        QCOMPARE(fitted.size, PhonePhoto::size.transposed());
        QVERIFY(fitted.image.pixelColor(590, 400).red() > 200); // the photo's top, on the right once upright
        QVERIFY(fitted.image.pixelColor(10, 400).blue() > 200);
        QFile file(photo);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(ImageCoding::readPictureData(file.readAll(), fit).image.size(), QSize(600, 800));

        ImageCoding::PictureRequest cover;
        cover.box = QSize(300, 300);
        cover.cover = true;
        QCOMPARE(ImageCoding::readPictureFile(photo, cover).image.size(), QSize(300, 400));

        const ImageCoding::ReadPicture full = ImageCoding::readPictureFile(photo);
        QVERIFY(full.image.isNull());
        QCOMPARE(full.error, QString("The image is too large to read."));
        ImageCoding::PictureRequest largest;
        largest.withinAllocationLimit = true;
        const QImage held = ImageCoding::readPictureFile(photo, largest).image;
        const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
        QVERIFY(held.sizeInBytes() <= limit && held.sizeInBytes() > limit / 2);
        QVERIFY(std::abs(held.width() * 4 - held.height() * 3) <= 8);

        QCOMPARE(ImageCoding::readPictureFile(env.path("gone.jpg")).error, QString("No such file or directory"));
        QCOMPARE(ImageCoding::readPictureData("not a picture").error, QString("Unsupported image format"));
    }

    // Every kind of picture the open panels offer, 1600 x 1200 in two colours (or greys): big blocks on the left, fine
    // detail on the right. Read reduced, it is the picture read whole and scaled, never the detail turned to noise.
    void aReducedReadIsThePictureReadWholeAndScaled_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QRgb yellow = qRgb(250, 220, 40), blue = qRgb(20, 40, 140);
        QImage blocks(1600, 1200, QImage::Format_RGB32);
        QByteArray greyAlpha;
        for (int y = 0; y < blocks.height(); ++y) {
            for (int x = 0; x < blocks.width(); ++x) {
                blocks.setPixel(x, y, (x < 800 ? x / 200 + y / 200 : x + y) % 2 ? yellow : blue);
                greyAlpha.append(char(qGray(blocks.pixel(x, y)))).append(char(x < 800 ? 255 : 120));
            }
        }
        const auto written = [](const QImage& image, const char* format) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            return buffer.open(QIODevice::WriteOnly) && QImageWriter(&buffer, format).write(image) ? bytes
                                                                                                   : QByteArray();
        };
        const QImage twoColours = blocks.convertToFormat(QImage::Format_Indexed8, {yellow, blue});
        const QImage blackAndWhite = blocks.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        const QImage grey = blocks.convertToFormat(QImage::Format_Grayscale8);
        QByteArray turned = written(blocks, "jpeg");
        turned.insert(2, PhonePhoto::exifOrientation(6));
        QTest::newRow("indexed PNG") << written(twoColours, "png");
        QTest::newRow("1-bit PNG") << written(blackAndWhite, "png");
        QTest::newRow("grey PNG") << written(grey, "png");
        QTest::newRow("grey and alpha PNG") << CraftedPng::encode(1600, 1200, 8, 4, greyAlpha);
        QTest::newRow("16-bit grey PNG") << written(blocks.convertToFormat(QImage::Format_Grayscale16), "png");
        QTest::newRow("16-bit PNG") << written(blocks.convertToFormat(QImage::Format_RGBA64), "png");
        QTest::newRow("indexed BMP") << written(twoColours, "bmp");
        QTest::newRow("1-bit TIFF") << written(blackAndWhite, "tiff");
        QTest::newRow("grey JPEG") << written(grey, "jpeg");
        // Its decoder reduces in inks, not in light: only the blocks, where both agree.
        QTest::newRow("CMYK JPEG") << cmykJpeg(blocks.copy(0, 0, 800, 600));
        QTest::newRow("JPEG turned by EXIF") << turned;
    }

    void aReducedReadIsThePictureReadWholeAndScaled() {
        QFETCH(QByteArray, bytes);
        ImageCoding::PictureRequest box;
        box.box = QSize(400, 400);
        const QImage reduced = ImageCoding::readPictureData(bytes, box).image.convertToFormat(QImage::Format_ARGB32);
        const QImage whole = ImageCoding::readPictureData(bytes).image.convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(reduced.size(), whole.size().scaled(box.box, Qt::KeepAspectRatio));
        const QImage expected = whole.scaled(reduced.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // Scalers differ only along the blocks' edges; noise is off by about half the range everywhere.
        double difference = 0;
        for (int y = 0; y < reduced.height(); ++y) {
            for (int x = 0; x < reduced.width(); ++x)
                difference += std::abs(qGray(reduced.pixel(x, y)) - qGray(expected.pixel(x, y))) +
                              std::abs(qAlpha(reduced.pixel(x, y)) - qAlpha(expected.pixel(x, y)));
        }
        QVERIFY2(difference / (reduced.width() * reduced.height()) < 8, qPrintable(QString::number(difference)));
    }

    void vectorPicturesNamingLocalFilesAreNotDecoded() {
        TestEnvironment env;
        QImage secret(8, 8, QImage::Format_RGB32);
        secret.fill(Qt::red);
        const QString path = env.path("secret.png");
        QVERIFY(secret.save(path));
        const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                               "width='8' height='8'><image width='8' height='8' xlink:href='" +
                               QFile::encodeName(path) + "'/></svg>";
        // Qt's own loader draws the named file into the picture: that is what must not happen.
        const QImage drawn = QImage::fromData(svg);
        QVERIFY(!drawn.isNull());
        QCOMPARE(drawn.pixelColor(4, 4), QColor(Qt::red));
        QVERIFY(ImageCoding::decode(svg).isNull());
        // Declaring a raster type does not help: the bytes decide.
        QVERIFY(ImageCoding::decode("\x89PNG\r\n\x1a\n" + svg).isNull());
        QVERIFY(ImageCoding::decode("GIF89a" + svg).isNull());
        QVERIFY(ImageCoding::rasterFormat(svg).isEmpty());
    }

    void onlyTheNewestResultIsHandedBack() {
        QObject context;
        LatestResult latest;
        QStringList delivered;
        QPromise<QString> older, newer;
        latest.watch(&context, older.future(), [&](const QString& value) { delivered << value; });
        latest.watch(&context, newer.future(), [&](const QString& value) { delivered << value; });
        for (auto* promise : {&newer, &older}) {
            promise->start();
            promise->addResult(promise == &newer ? QStringLiteral("newer") : QStringLiteral("older"));
            promise->finish();
        }
        QTRY_COMPARE(delivered, QStringList{"newer"});
        QTest::qWait(20);
        QCOMPARE(delivered, QStringList{"newer"});

        // A result that is already there comes back later, never inside the call that asks for it.
        bool early = false;
        latest.watch(&context, QtFuture::makeReadyFuture(3), [&](int) { early = true; });
        QVERIFY(!early);
        QTRY_VERIFY(early);

        // Forgotten work, and work whose receiver is gone, hands back nothing.
        bool ran = false;
        latest.run(
            &context, [] { return 1; }, [&](int) { ran = true; });
        latest.forget();
        auto receiver = std::make_unique<QObject>();
        QPromise<int> orphan;
        LatestResult second;
        second.watch(receiver.get(), orphan.future(), [&](int) { ran = true; });
        receiver.reset();
        orphan.start();
        orphan.addResult(2);
        orphan.finish();
        QTest::qWait(50);
        QVERIFY(!ran);

        // The same for work without a result.
        bool done = false;
        latest.run(
            &context, [] {}, [&] { done = true; });
        QTRY_VERIFY(done);
    }
};

QTEST_GUILESS_MAIN(PlatformTests)
#include "tst_platform.moc"
