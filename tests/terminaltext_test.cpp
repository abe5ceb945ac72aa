#include "adapteridentity.h"
#include "sha256.h"
#include "terminaltext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

TEST(TerminalTextTest, OutsideTextCannotDriveTheTerminal)
{
    const std::pair<std::string, std::string> cases[] = {
        {"ttyUSB0", "ttyUSB0"},
        {"x\nconverter-check: PASS", "x\\nconverter-check: PASS"},
        {"\x1B[2J\tend", "\\x1B[2J\\tend"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC \xF0\x9F\x94\x8C",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC \xF0\x9F\x94\x8C"},
        {"\xC2\x9B"
         "31m",
         "\\xC2\\x9B31m"}, // C1 CSI, which some terminals obey
        {"\xC3(\xFF\xE2\x82", "\\xC3(\\xFF\\xE2\\x82"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"}, // a surrogate
        {"\x7F", "\\x7F"},
        {"SN\xEF\xBF\xBF", "SN\\xEF\\xBF\\xBF"}, // a non-character, which XML refuses
        // Text that shows as nothing or turns the rest around: "SN-1" and "SN-\u200B1" differ.
        {"SN-\xE2\x80\xAE"
         "1-\xE2\x80\x8B\xE2\x80\xA8\xEF\xBB\xBF",
         "SN-\\u{202E}1-\\u{200B}\\u{2028}\\u{FEFF}"},
        {std::string(1 << 20, 'a'), std::string(60, 'a') + "..." + std::string(60, 'a')},
        {"/" + std::string(200, 'a') + "/r.xml: No such file or directory",
         "/" + std::string(59, 'a') + "..." + std::string(27, 'a') +
             "/r.xml: No such file or directory"},
    };
    for (const auto &[text, shown] : cases)
        EXPECT_EQ(cli::printable(text), shown) << text.substr(0, 20);
    // Columns as a terminal gives them, for tables: a wide character takes two.
    EXPECT_EQ(cli::displayWidth("\xC3\x96l-Pr\xC3\xBC"
                                "f-7"),
              9u);
    EXPECT_EQ(cli::displayWidth("\xE6\x97\xA5\xE6\x9C\xAC-42"), 7u);
}

// The digests of the standard's examples, the two-block padding among them.
TEST(Sha256Test, KnownDigests)
{
    const std::pair<std::string, const char *> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto &[text, digest] : cases)
        EXPECT_EQ(
            cli::sha256Hex({reinterpret_cast<const std::uint8_t *>(text.data()), text.size()}),
            digest);
}

} // namespace

// Which adapter a port is, from a made-up /dev/serial/by-id and sysfs: a USB adapter's ids from
// the device above its tty, and nothing for a port no by-id name and no USB device lead to.
TEST(AdapterIdentityTest, ByIdNameAndUsbIdsFromTheFileSystem)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("adapter-" + std::to_string(::getpid()));
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_directories(root / "sys/devices/usb1/1-2/1-2:1.0/ttyUSB0");
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_directories(root / "sys/class/tty/ttyS4");
    std::ofstream(root / "dev/ttyUSB0");
    std::ofstream(root / "dev/ttyS4");
    for (const auto &[file, text] :
         {std::pair{"idVendor", "0403\n"}, {"idProduct", "6001\n"}, {"serial", "A50285BI\n"}})
        std::ofstream(root / "sys/devices/usb1/1-2" / file) << text;
    fs::create_directory_symlink(root / "sys/devices/usb1/1-2/1-2:1.0/ttyUSB0",
                                 root / "sys/class/tty/ttyUSB0/device");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    const cli::AdapterIdentity usb =
        cli::adapterOf((root / "dev/ttyUSB0").string(), (root / "dev/serial/by-id").string(),
                       (root / "sys/class/tty").string());
    EXPECT_EQ(cli::adapterJson(usb), "{\"byId\":\"usb-FTDI_FT232R-if00-port0\",\"vendor\":\"0403\","
                                     "\"product\":\"6001\",\"serial\":\"A50285BI\"}");
    EXPECT_EQ(cli::adapterJson(cli::adapterOf((root / "dev/ttyS4").string(),
                                              (root / "dev/serial/by-id").string(),
                                              (root / "sys/class/tty").string())),
              "null");
    fs::remove_all(root);
}
