// Files that misbehave, for the localisation tests: a FIFO whose blocked reader is set free after
// a while (so that a reader that should never have opened it fails the test instead of hanging
// it), a file this process really cannot read even as root, and a watch that tells which files
// were opened.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// A FIFO at `path`. While it exists, a reader blocked on opening it is released after
// `releaseAfterMs` by a writer that opens and closes the other end at once, so the reader sees
// an empty file. released() tells whether that happened.
class Fifo {
public:
    Fifo(const QString& path, int releaseAfterMs)
        : path(QFile::encodeName(path))
    {
        made = ::mkfifo(this->path.constData(), 0644) == 0;
        if (made)
            releaser = std::thread([this, releaseAfterMs] { release(releaseAfterMs); });
    }
    ~Fifo()
    {
        done = true;
        if (releaser.joinable())
            releaser.join();
    }

    bool isValid() const { return made; }
    bool released() const { return wasReleased; }

private:
    void release(int afterMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(afterMs);
        while (!done && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Keeps releasing until the owner is finished: a reader may open the FIFO more than once.
        while (!done) {
            // Without a reader this fails at once (ENXIO) and nobody is waiting.
            const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                wasReleased = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    QByteArray path;
    bool made = false;
    std::atomic<bool> done { false };
    std::atomic<bool> wasReleased { false };
    std::thread releaser;
};

// While it exists, file permissions bind the calling thread: for root the capabilities that
// override them are dropped from the thread's effective set (they stay permitted and come back
// in the destructor). isActive() is false when that could not be done.
class PermissionsBind {
public:
    PermissionsBind()
    {
        if (::geteuid() != 0) {
            active = true;
            return;
        }
        header.version = _LINUX_CAPABILITY_VERSION_3;
        header.pid = 0;
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = { saved[0], saved[1] };
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active = ::syscall(SYS_capset, &header, reduced) == 0;
        dropped = active;
    }
    ~PermissionsBind()
    {
        if (dropped)
            ::syscall(SYS_capset, &header, saved);
    }

    bool isActive() const { return active; }

private:
    __user_cap_header_struct header {};
    __user_cap_data_struct saved[2] {};
    bool active = false;
    bool dropped = false;
};

// Records the names of the files opened in the watched directories, by any process, from its
// creation until openedFiles() is called.
class OpenWatch {
public:
    explicit OpenWatch(const QStringList& directories)
    {
        fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        valid = fd >= 0;
        for (const QString& directory : directories)
            valid = valid && ::inotify_add_watch(fd, QFile::encodeName(directory), IN_OPEN) >= 0;
    }
    ~OpenWatch()
    {
        if (fd >= 0)
            ::close(fd);
    }

    bool isValid() const { return valid; }

    // Every name once per opening; a directory opened itself shows as ".".
    QStringList openedFiles()
    {
        QStringList names;
        alignas(inotify_event) char buffer[8192];
        ssize_t length;
        while ((length = ::read(fd, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                names << (event->len ? QFile::decodeName(event->name) : QStringLiteral("."));
                p += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int fd = -1;
    bool valid = false;
};
