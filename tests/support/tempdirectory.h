#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace support {

// A fresh folder under $TMPDIR (else /tmp), removed with everything in it when the test is done.
class TempDirectory
{
public:
    TempDirectory()
    {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/station-test-XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDirectory(const TempDirectory &) = delete;
    TempDirectory &operator=(const TempDirectory &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path &name) const
    {
        return m_path / name;
    }

private:
    std::filesystem::path m_path;
};

} // namespace support
