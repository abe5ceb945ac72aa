#include "evidencefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

std::string kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

} // namespace

std::optional<std::string> refusal(const std::string &path)
{
    struct stat status
    {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(std::string(std::strerror(errno)));
    if (!S_ISREG(status.st_mode))
        return "it is " + kindOf(status.st_mode) + ", not a file of ours to replace";
    if (status.st_uid != ::geteuid())
        return std::string("it belongs to another user");
    return std::nullopt;
}

std::optional<std::string> EvidenceFile::create(const std::string &path,
                                                std::optional<EvidenceFile> &file)
{
    const std::string part = path + ".part";
    if (auto why = refusal(path))
        return why;
    if (auto why = refusal(part))
        return part + ": " + *why;
    // A NAME.part of ours is what an earlier run left; a new one is made in its place, and with
    // O_EXCL nobody can slip a link in between.
    if (::unlink(part.c_str()) != 0 && errno != ENOENT)
        return part + ": " + std::strerror(errno);
    const int descriptor =
        ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return part + ": " + std::strerror(errno);
    file.emplace(EvidenceFile(path, descriptor));
    return std::nullopt;
}

EvidenceFile::EvidenceFile(EvidenceFile &&other) noexcept
    : m_path(std::move(other.m_path)), m_descriptor(other.m_descriptor),
      m_error(std::move(other.m_error))
{
    other.m_descriptor = -1;
}

EvidenceFile::~EvidenceFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool EvidenceFile::failWith(const std::string &what)
{
    if (m_error.empty())
        m_error = what + ": " + std::strerror(errno);
    return false;
}

bool EvidenceFile::writeLine(std::string_view line)
{
    if (!m_error.empty() || m_descriptor < 0)
        return false;
    std::string text(line);
    text += '\n';
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(m_descriptor, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return failWith("write failed");
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool EvidenceFile::finish()
{
    if (!m_error.empty() || m_descriptor < 0)
        return false;
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::fsync(descriptor) != 0 && errno != EINVAL) {
        failWith("write failed");
        ::close(descriptor);
        return false;
    }
    if (::close(descriptor) != 0)
        return failWith("write failed");
    if (::rename(partPath().c_str(), m_path.c_str()) != 0)
        return failWith("could not be put in place");
    return true;
}

void EvidenceFile::discard()
{
    if (m_descriptor < 0)
        return;
    ::close(m_descriptor);
    m_descriptor = -1;
    ::unlink(partPath().c_str());
}

} // namespace cli
