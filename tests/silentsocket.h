#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A socket that takes connections into its backlog and never says a word, like a server that
// hangs: a client's connection stays waiting for the greeting until the socket is closed.
class SilentSocket
{
public:
    SilentSocket()
    {
        path = QDir(folder.path()).filePath(QStringLiteral("silent.sock")).toStdString();
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(fd, 4) != 0)
            close();
    }
    ~SilentSocket() { close(); }

    bool listening() const { return fd >= 0; }
    QString host() const { return QString::fromStdString(path); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

private:
    QTemporaryDir folder {QStringLiteral("/tmp/orvex-silent-XXXXXX")};
    std::string path;
    int fd = -1;
};
