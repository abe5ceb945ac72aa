#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cli {

// Why an existing file at `path` is not ours to write: a symbolic link, anything but a regular
// file, or a file another user owns; nothing when it may be written, or when there is none.
std::optional<std::string> refusal(const std::string &path);

// A file the program writes as evidence (a capture, a log): written to NAME.part beside NAME and
// renamed to NAME only when complete, so an existing NAME is replaced only by a whole file and a
// killed run leaves a readable NAME.part. Every write goes to the file at once and is checked.
class EvidenceFile
{
public:
    // Refuses what is not ours to replace: a symbolic link at NAME or NAME.part, anything but a
    // regular file there, or a file another user owns. Returns the reason when it refuses or
    // cannot create NAME.part.
    static std::optional<std::string> create(const std::string &path,
                                             std::optional<EvidenceFile> &file);

    EvidenceFile(EvidenceFile &&other) noexcept;
    EvidenceFile &operator=(EvidenceFile &&) = delete;
    ~EvidenceFile();

    // The line and a line end, written at once; false after any failure, which error() tells
    // ("write failed: No space left on device").
    bool writeLine(std::string_view line);
    // Closes NAME.part and renames it to NAME; false, and NAME.part left, on any failure.
    bool finish();
    // Closes and removes NAME.part: for a report that is whole or nothing, when it cannot be whole.
    void discard();

    const std::string &path() const { return m_path; }
    std::string partPath() const { return m_path + ".part"; }
    const std::string &error() const { return m_error; }

private:
    EvidenceFile(std::string path, int descriptor)
        : m_path(std::move(path)), m_descriptor(descriptor)
    {}
    bool failWith(const std::string &what);

    std::string m_path;
    int m_descriptor = -1;
    std::string m_error;
};

} // namespace cli
