#include "textfile.h"

#include "vornikerror.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const QString &path, int error)
{
    throw TVornikError(QStringLiteral("Cannot write the file \"%1\": %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

class TFileDescriptor
{
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileDescriptor(const TFileDescriptor &) = delete;
    TFileDescriptor &operator=(const TFileDescriptor &) = delete;
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

} // namespace

void WriteTextFile(const QString &text, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    TFileDescriptor file(
        ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
    if (file.get() < 0)
        Fail(path, errno);
    struct stat info;
    if (::fstat(file.get(), &info) != 0)
        Fail(path, errno);
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1)
        Fail(path, EPERM);
    // Writers that honour locks keep out while the image is written; readers are never blocked.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        Fail(path, errno);
    if (::ftruncate(file.get(), 0) != 0)
        Fail(path, errno);

    const QByteArray bytes = text.toLatin1();
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(file.get(), data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail(path, errno);
        }
        data += written;
        left -= written;
    }
    if (::close(file.release()) != 0)
        Fail(path, errno);
}
