#pragma once

#include "card/SecretBytes.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>

class QSettings;

// Every setting of the program: five groups of string keys kept in the
// per-user settings store, the certificates and the user's private key.
// Lives in the GUI thread; only the work folders and the last .ddd path are
// shared with the reader-manager thread, so those two go through accessors
// that take a lock.
class Config : public QObject
{
    Q_OBJECT

public:
    explicit Config(QObject *parent = nullptr);
    ~Config() override;

    void setDefaults();
    void load();
    // An empty list writes every key, and removes any other key from the
    // store; otherwise only the listed keys, unless an earlier save failed.
    // A stored value that was not UTF-8 is written back as it was read,
    // unless its key is listed.
    // Empties changedKeys once the store has them; false when it could not
    // be written, after telling the user, with changedKeys kept.
    bool save(const QStringList &keys);
    void createWorkDirs();
    // key is "CertCA" or "CertUser".
    bool loadCertificate(const QString &key);
    // 0 loaded, 1 wrong pass phrase or no key in the file, -1 no key file
    // configured, -2 key file missing or unreadable. The pass phrase is
    // wiped for every holder on return, whatever the result.
    int loadPrivateKey(SecretBytes passPhrase);

    // Each sets lastError to its message and empties it on success.
    bool validatePort(const QString &text);
    bool validateTimeout(const QString &text);
    // allowPort: the host of an upload service, which may carry ":port".
    bool validateServer(const QString &text, bool allowPort = false);
    // Stored paths and logins go into file names and log lines, and are read
    // back by every later run.
    bool validatePath(const QString &text);
    bool validateLogin(const QString &text);

    // Work folders ("ProductPath", "dddPath", "ExportPath"); safe from any thread.
    QMap<QString, QString> paths() const;
    QString path(const QString &key) const;
    void setPath(const QString &key, const QString &value);

    // Full path of the .ddd file written last; safe from any thread.
    QString lastDddPath() const;
    void setLastDddPath(const QString &path);

    // The groups below are read and changed in the GUI thread only.
    QMap<QString, QString> appInfo;
    QMap<QString, QString> auth;
    QMap<QString, QString> unblockServer;
    QMap<QString, QString> services;
    QStringList changedKeys;
    QSslCertificate caCert;
    QSslCertificate userCert;
    QSslKey userKey;
    QString lastError;

signals:
    void loggingMessage(uchar type, const QString &msg);
    void userCertChanged();
    // A warning for the user; start-up shows it in a modal message box.
    void warningMessage(const QString &text, const QString &informativeText);

private:
    void readStore(const QString &fileName);
    void loadCheckedGroup(const QSettings &store, QMap<QString, QString> &group, QStringList &writeBack);
    void keepNonUtf8Value(const QString &key, const QString &stored);
    bool acceptStoredValue(const QString &key, const QString &value);
    bool validateStoredText(const QString &text, const QString &subject);
    bool refuseSave(const QString &fileName, const QString &reason);
    QMap<QString, QString> allValues() const;
    bool findValue(const QString &key, QString &value) const;
    // What a box or a log line shows of a stored path.
    static QString shownPath(const QString &path);

    mutable QMutex m_shared;
    QMap<QString, QString> m_paths;
    QString m_lastDddPath;
    // The settings file was no file to use at start: this run never touches it.
    bool m_storeRefused = false;
    // A save failed, so the file may lack values the program holds.
    bool m_storeBehind = false;
    // Stored values that are not UTF-8, as the store read them: the program
    // uses the defaults, and writes these back as they were until their key
    // is saved.
    QMap<QString, QString> m_keptInFile;
};
