#pragma once

#include <QObject>
#include <QSet>
#include <QString>

// The accepted video file extensions: exactly "mp4".
const QSet<QString>& defaultSupportedVideoFormats();

// The process-wide store of the user's API keys: one image key and one key per parallel video client.
// Each key lives in the user defaults under its own name and is written back whenever it changes.
class APIManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString googleAPIKey READ googleAPIKey WRITE setGoogleAPIKey NOTIFY googleAPIKeyChanged)
    Q_PROPERTY(QString miniMaxAPIKey READ miniMaxAPIKey WRITE setMiniMaxAPIKey NOTIFY miniMaxAPIKeyChanged)
    Q_PROPERTY(QString miniMaxAPIKey2 READ miniMaxAPIKey2 WRITE setMiniMaxAPIKey2 NOTIFY miniMaxAPIKey2Changed)
    Q_PROPERTY(QString miniMaxAPIKey3 READ miniMaxAPIKey3 WRITE setMiniMaxAPIKey3 NOTIFY miniMaxAPIKey3Changed)
    Q_PROPERTY(QString miniMaxAPIKey4 READ miniMaxAPIKey4 WRITE setMiniMaxAPIKey4 NOTIFY miniMaxAPIKey4Changed)
public:
    static APIManager& shared();

    QString googleAPIKey() const { return googleAPIKey_; }
    QString miniMaxAPIKey() const { return miniMaxAPIKey_; }
    QString miniMaxAPIKey2() const { return miniMaxAPIKey2_; }
    QString miniMaxAPIKey3() const { return miniMaxAPIKey3_; }
    QString miniMaxAPIKey4() const { return miniMaxAPIKey4_; }
    // Slot 1 to 4; any other slot gives an empty key.
    QString miniMaxAPIKey(int slot) const;

    void setGoogleAPIKey(const QString& key);
    void setMiniMaxAPIKey(const QString& key);
    void setMiniMaxAPIKey2(const QString& key);
    void setMiniMaxAPIKey3(const QString& key);
    void setMiniMaxAPIKey4(const QString& key);

    bool hasGoogleAPIKey() const { return hasValidKey(googleAPIKey_); }
    bool hasMiniMaxAPIKey() const { return hasValidKey(miniMaxAPIKey_); }
    bool hasMiniMaxAPIKey2() const { return hasValidKey(miniMaxAPIKey2_); }
    bool hasMiniMaxAPIKey3() const { return hasValidKey(miniMaxAPIKey3_); }
    bool hasMiniMaxAPIKey4() const { return hasValidKey(miniMaxAPIKey4_); }

    // True when the key has something besides white space; the key itself is never changed.
    static bool hasValidKey(const QString& key);
    static void saveKey(const QString& value, const QString& key);

    // Tests only: drops the instance so the next use reads the defaults again.
    static void resetSharedForTesting();

signals:
    void googleAPIKeyChanged();
    void miniMaxAPIKeyChanged();
    void miniMaxAPIKey2Changed();
    void miniMaxAPIKey3Changed();
    void miniMaxAPIKey4Changed();

private:
    APIManager();
    void assign(QString& field, const QString& value, const char* key, void (APIManager::*signal)());

    QString googleAPIKey_;
    QString miniMaxAPIKey_;
    QString miniMaxAPIKey2_;
    QString miniMaxAPIKey3_;
    QString miniMaxAPIKey4_;
};
