#pragma once

#include "APIKeyTests.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// One key of the API tab: the key itself (kept in APIManager), whether it is shown, and its last format
// check or test. Tests of different keys run side by side; one key is tested once at a time.
class APIKeySlot : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString key READ key WRITE setKey NOTIFY keyChanged)
    Q_PROPERTY(bool hasKey READ hasKey NOTIFY keyChanged)
    Q_PROPERTY(bool showKey READ showKey WRITE setShowKey NOTIFY showKeyChanged)
    Q_PROPERTY(bool isTesting READ isTesting NOTIFY testStateChanged)
    Q_PROPERTY(bool hasResult READ hasResult NOTIFY testStateChanged)
    Q_PROPERTY(bool resultIsSuccess READ resultIsSuccess NOTIFY testStateChanged)
    Q_PROPERTY(QString resultText READ resultText NOTIFY testStateChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY keyChanged)
    Q_PROPERTY(QString showKeyText READ showKeyText NOTIFY showKeyChanged)
    Q_PROPERTY(bool testButtonShown READ testButtonShown NOTIFY controlsChanged)
    Q_PROPERTY(bool testProgressShown READ testProgressShown NOTIFY controlsChanged)
public:
    // 0 is the image key; 1 to 4 are the video key slots.
    explicit APIKeySlot(int slot, QObject* parent = nullptr);

    int slot() const { return slot_; }
    bool isImageKey() const { return slot_ == 0; }
    QString title() const;
    QString caption() const;
    QString placeholder() const;
    QString sectionHeader() const; // empty for the image key, whose section has its own heading
    QString testHelp() const;
    // The accessible names of the key's field and buttons; a video key's carry its slot number, so that each
    // is told apart from the other slots' in the window.
    QString fieldName() const;
    QString testButtonName() const;
    QString clearButtonName() const;

    QString key() const;
    void setKey(const QString& key);
    bool hasKey() const;
    bool showKey() const { return showKey_; }
    void setShowKey(bool show);
    void toggleShowKey() { setShowKey(!showKey_); }
    // "Key set" or "No key", beside the heading.
    QString statusText() const;
    // What the show button does next: "Show key" or "Hide key", with the slot number for a video key.
    QString showKeyText() const;

    bool isTesting() const { return isTesting_; }
    // A key gets the test and clear buttons; while its test runs, a progress indicator stands in for the test
    // button.
    bool testButtonShown() const { return hasKey() && !isTesting_; }
    bool testProgressShown() const { return hasKey() && isTesting_; }
    bool hasResult() const { return testResult_.has_value(); }
    bool resultIsSuccess() const { return testResult_ && testResult_->isSuccess; }
    // "API key is valid" or the failure's message.
    QString resultText() const;

    // The test button: the format check, then, when it passes, the key test.
    void test();
    // Empties the key; the last result stays.
    void clear();

    // Tests shorten the 60 s time-out.
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }

signals:
    void keyChanged();
    void showKeyChanged();
    void testStateChanged();
    // The key or the test state changed: the buttons beside the field may change.
    void controlsChanged();

private:
    void finishTest(const APITestResult& result);

    int slot_;
    bool showKey_ = false;
    bool isTesting_ = false;
    std::optional<APITestResult> testResult_;
    int timeoutMs_ = APIKeyTests::defaultTimeoutMs;
};

// The API tab's state: the image key and the four video keys, in that order.
class APISettingsViewModel : public QObject {
    Q_OBJECT
public:
    static inline const QString title = QStringLiteral("API Settings");
    static inline const QString subtitle = QStringLiteral("Configure API keys for image and video generation");
    // Where the user gets keys.
    static inline const QString googleKeysAddress = QStringLiteral("https://aistudio.google.com/apikey");
    static inline const QString miniMaxKeysAddress =
        QStringLiteral("https://platform.minimax.io/user-center/basic-information");
    // A link's title: its address without the scheme.
    static QString linkTitle(const QString& address);

    explicit APISettingsViewModel(QObject* parent = nullptr);

    const QList<APIKeySlot*>& keySlots() const { return slots_; }
    APIKeySlot* imageKey() const { return slots_[0]; }
    APIKeySlot* videoKey(int slot) const { return slot >= 1 && slot <= 4 ? slots_[slot] : nullptr; }

private:
    QList<APIKeySlot*> slots_;
};
