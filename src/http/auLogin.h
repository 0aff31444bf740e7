#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The credentials part of the transfer component, and how they are kept in a
// stored form: scrambled, not encrypted (anyone with the bytes can read them).
class TauLoginComponent : public QObject {
    Q_OBJECT
public:
    explicit TauLoginComponent(QObject* owner = nullptr) : QObject(owner) {}

    QString Username;
    QString Password;

    // The "LInfo" value: credentials as scrambled bytes; empty when both are.
    QByteArray WriteLInfo() const;
    // Reverses WriteLInfo; false (nothing changed) for bytes it did not write.
    bool ReadLInfo(const QByteArray& data);
};
