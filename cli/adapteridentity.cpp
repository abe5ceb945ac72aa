#include "adapteridentity.h"

#include "terminaltext.h"

#include <filesystem>
#include <fstream>

namespace cli {

namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, shown safely; empty when there is none.
std::string attribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return printable(line, 64);
}

} // namespace

std::string AdapterIdentity::key() const
{
    if (!byId.empty())
        return byId;
    return vendor.empty() ? std::string() : vendor + ":" + product + ":" + serial;
}

std::string adapterJson(const AdapterIdentity &adapter)
{
    if (!adapter.known())
        return "null";
    return "{\"byId\":" + optionalJson(adapter.byId) +
           ",\"vendor\":" + optionalJson(adapter.vendor) +
           ",\"product\":" + optionalJson(adapter.product) +
           ",\"serial\":" + optionalJson(adapter.serial) + "}";
}

AdapterIdentity adapterOf(const std::string &port, const std::string &byIdFolder,
                          const std::string &ttyClassFolder)
{
    AdapterIdentity identity;
    std::error_code error;
    const fs::path device = fs::canonical(port, error);
    if (error)
        return identity;
    for (fs::directory_iterator entry(byIdFolder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code same;
        if (fs::canonical(entry->path(), same) == device && !same) {
            identity.byId = printable(entry->path().filename().string(), 255);
            break;
        }
    }
    // The tty's device, then up its parents to the USB device that carries the ids.
    fs::path folder = fs::canonical(fs::path(ttyClassFolder) / device.filename() / "device", error);
    for (int depth = 0; !error && depth < 8 && folder.has_relative_path();
         ++depth, folder = folder.parent_path()) {
        if (fs::exists(folder / "idVendor", error)) {
            identity.vendor = attribute(folder / "idVendor");
            identity.product = attribute(folder / "idProduct");
            identity.serial = attribute(folder / "serial");
            break;
        }
    }
    return identity;
}

} // namespace cli
