#pragma once

// A private session bus and a desktop portal on it that takes a screenshot
// request and never answers it. The portal speaks just enough of the D-Bus
// wire protocol for that (this program does not link QtDBus): it owns the
// portal's name and sends an empty reply to every call.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

class PrivateBus {
public:
    bool Start() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                                      "--address=unix:path=" + SocketPath()});
        return daemon_.waitForReadyRead(5000) && QFile::exists(SocketPath());
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished(2000);
    }
    QString SocketPath() const { return folder_.filePath("bus"); }
    QByteArray Address() const { return "unix:path=" + QFile::encodeName(SocketPath()); }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
};

class SilentPortal {
public:
    ~SilentPortal() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            close(fd_);
    }

    // Connects, owns the portal's name, then answers calls on a thread of its
    // own: the caller blocks in its calls.
    bool Start(const QString& socketPath) {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath);
        if (size_t(path.size()) >= sizeof address.sun_path)
            return false;
        memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        Send(QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(getuid()).toHex() +
             "\r\n");
        for (int tries = 0; tries < 50 && !in_.contains("\r\n"); ++tries)
            Read();
        if (!in_.startsWith("OK"))
            return false;
        in_.clear();
        Send("BEGIN\r\n");
        Send(Call("Hello", {}, {}));
        QByteArray name;
        Str(name, "org.freedesktop.portal.Desktop");
        U32(name, 4); // do not queue
        Send(Call("RequestName", "su", name));
        // Our second call is RequestName: once it is answered the name is ours.
        for (int tries = 0; tries < 50; ++tries) {
            for (const Message& m : Take())
                if (m.type == 2 && m.replySerial == 2) {
                    thread_ = std::thread([this] { Serve(); });
                    return true;
                }
            Read();
        }
        return false;
    }

    int Calls(const QByteArray& member) const {
        std::lock_guard lock(mutex_);
        return int(members_.count(member));
    }

private:
    struct Message {
        char type = 0;
        uchar flags = 0;
        quint32 serial = 0, replySerial = 0;
        QByteArray member, sender;
    };

    static void Align(QByteArray& b, int n) {
        while (b.size() % n)
            b.append('\0');
    }
    static void U32(QByteArray& b, quint32 v) {
        Align(b, 4);
        for (int i = 0; i < 4; ++i)
            b.append(char(v >> (8 * i)));
    }
    static quint32 U32At(const QByteArray& b, qsizetype at) {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | uchar(b[at + i]);
        return v;
    }
    static void Str(QByteArray& b, const QByteArray& s) {
        U32(b, quint32(s.size()));
        b += s;
        b.append('\0');
    }
    static void Sig(QByteArray& b, const QByteArray& s) {
        b.append(char(s.size()));
        b += s;
        b.append('\0');
    }
    // A header field: its code and a variant of a string, signature or number.
    static void Field(QByteArray& f, char code, char type, const QByteArray& s, quint32 n = 0) {
        Align(f, 8);
        f.append(code);
        Sig(f, QByteArray(1, type));
        if (type == 'u')
            U32(f, n);
        else if (type == 'g')
            Sig(f, s);
        else
            Str(f, s);
    }
    QByteArray Pack(char type, const QByteArray& fields, const QByteArray& body) {
        QByteArray m("l");
        m.append(type);
        m.append('\0');
        m.append('\1');
        U32(m, quint32(body.size()));
        U32(m, ++serial_);
        U32(m, quint32(fields.size()));
        m += fields;
        Align(m, 8);
        return m + body;
    }
    QByteArray Call(const QByteArray& member, const QByteArray& signature, const QByteArray& body) {
        QByteArray f;
        Field(f, 1, 'o', "/org/freedesktop/DBus");
        Field(f, 2, 's', "org.freedesktop.DBus");
        Field(f, 3, 's', member);
        Field(f, 6, 's', "org.freedesktop.DBus");
        if (!signature.isEmpty())
            Field(f, 8, 'g', signature);
        return Pack(1, f, body);
    }

    void Send(const QByteArray& bytes) {
        (void)!write(fd_, bytes.constData(), size_t(bytes.size()));
    }
    QByteArray Read() {
        pollfd p{fd_, POLLIN, 0};
        char buffer[4096];
        if (poll(&p, 1, 100) > 0) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0)
                in_.append(buffer, n);
        }
        return in_;
    }

    // The whole messages received so far.
    QList<Message> Take() {
        QList<Message> out;
        while (in_.size() >= 16) {
            const qsizetype fieldsEnd = 16 + U32At(in_, 12);
            const qsizetype total = ((fieldsEnd + 7) & ~7) + U32At(in_, 4);
            if (in_.size() < total)
                break;
            Message m;
            m.type = in_[1];
            m.flags = uchar(in_[2]);
            m.serial = U32At(in_, 8);
            for (qsizetype at = 16; at < fieldsEnd;) {
                at = (at + 7) & ~7;
                const char code = in_[at];
                const char type = in_[at + 2];
                at += 3 + uchar(in_[at + 1]);
                if (type == 'u') {
                    at = (at + 3) & ~3;
                    if (code == 5)
                        m.replySerial = U32At(in_, at);
                    at += 4;
                } else if (type == 'g') {
                    at += 2 + uchar(in_[at]);
                } else {
                    at = (at + 3) & ~3;
                    const QByteArray value = in_.mid(at + 4, U32At(in_, at));
                    if (code == 3)
                        m.member = value;
                    if (code == 7)
                        m.sender = value;
                    at += 5 + value.size();
                }
            }
            in_.remove(0, total);
            out.append(m);
        }
        return out;
    }

    void Serve() {
        while (!stop_) {
            Read();
            for (const Message& m : Take()) {
                if (m.type != 1)
                    continue;
                {
                    std::lock_guard lock(mutex_);
                    members_.append(m.member);
                }
                if (m.flags & 1) // no reply expected
                    continue;
                QByteArray f;
                Field(f, 5, 'u', {}, m.serial);
                Field(f, 6, 's', m.sender);
                Send(Pack(2, f, {}));
            }
        }
    }

    int fd_ = -1;
    quint32 serial_ = 0;
    QByteArray in_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    QList<QByteArray> members_;
};
