#include "runoptions.h"

#include "identity.h"
#include "inputfile.h"
#include "protocolfile.h"
#include "sha256.h"
#include "terminaltext.h"
#include "uuid.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace engine {

int wholeNumber(const std::string &option, const std::string &text, long lowest, long highest)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < lowest || value > highest)
        throw UsageError(option + " takes a whole number from " + std::to_string(lowest) + " to " +
                         std::to_string(highest));
    return static_cast<int>(value);
}

// Identity goes into reports that other tools read: printable text only.
std::string printableText(const std::string &option, const std::string &text)
{
    if (text.empty() || cli::printable(text, text.size()) != text)
        throw UsageError(option + " takes printable text");
    // As the plant's database takes it: an id it can index, the same limit in every program.
    if (cli::characterCount(text) > maxIdCharacters)
        throw UsageError(option + " takes at most " + std::to_string(maxIdCharacters) +
                         " characters");
    return text;
}

bool takeRunOption(cli::Arguments &arguments, RunOptions &options)
{
    const std::string &argument = arguments.name();
    const auto fileName = [&arguments, &argument] {
        std::string name = arguments.value();
        if (name.empty())
            throw UsageError(argument + " needs a file name");
        return name;
    };
    if (argument == "--polls") {
        options.polls = wholeNumber(argument, arguments.value(), 1, 1000000);
    } else if (argument == "--max-missed") {
        options.maxMissed = wholeNumber(argument, arguments.value(), 0, 1000000);
    } else if (argument == "--cadence-tolerance-ms") {
        options.cadenceToleranceMs = wholeNumber(argument, arguments.value(), 1, 250);
    } else if (argument == "--protocols") {
        options.protocols = fileName();
    } else if (argument == "--no-protocols") {
        options.noProtocols = true;
    } else if (argument == "--store") {
        options.store = fileName();
    } else if (argument == "--no-store") {
        options.noStore = true;
    } else if (argument == "--operator") {
        options.operatorName = printableText(argument, arguments.value());
    } else if (argument == "--station") {
        options.stationName = printableText(argument, arguments.value());
    } else if (argument == "--fixture-id") {
        options.fixtureId = printableText(argument, arguments.value());
    } else if (argument == "--golden-list") {
        for (std::string &id : readGoldenList(fileName()))
            options.goldenUnits.push_back(std::move(id));
    } else if (argument == "--expect-protocol") {
        options.expected.protocol = wholeNumber(argument, arguments.value(), 0, 63);
    } else if (argument == "--expect-version") {
        options.expected.version = wholeNumber(argument, arguments.value(), 0, 63);
    } else if (argument == "--max-round-trip") {
        options.expected.maxRoundTripMs = double(wholeNumber(argument, arguments.value(), 1, 500));
    } else if (argument == "--unit-case") {
        const std::string word = arguments.value();
        if (word != "exact" && word != "upper")
            throw UsageError("--unit-case takes upper or exact");
        options.exactUnitCase = word == "exact";
    } else if (argument == "--expect-ts") {
        TsExpectation ts{};
        if (!parseTsExpectation(arguments.value(), ts))
            throw UsageError("--expect-ts takes agree, software, hardware, both or none");
        options.expected.ts = ts;
    } else {
        return false;
    }
    return true;
}

bool isGoldenUnit(const RunOptions &options, const std::string &filedId)
{
    for (const std::string &golden : options.goldenUnits)
        if (store::unitIdAsFiled(golden, options.exactUnitCase) == filedId)
            return true;
    return false;
}

std::vector<std::string> readGoldenList(const std::string &path)
{
    constexpr std::uint64_t limitBytes = 1 << 20;
    auto opened = cli::openInputFile(path, limitBytes);
    if (const auto *why = std::get_if<std::string>(&opened))
        throw UsageError("--golden-list " + cli::printable(path) + ": " + *why);
    std::string text;
    char block[4096];
    for (std::size_t got;
         (got = std::fread(block, 1, sizeof block, std::get<0>(opened).get())) > 0;)
        text.append(block, got);
    std::vector<std::string> ids;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        for (std::string id; words >> id;)
            ids.push_back(printableText("a golden unit's id in " + cli::printable(path), id));
    }
    return ids;
}

RunIdentity runIdentity(const RunOptions &options, const std::string &toolName)
{
    std::string station = options.stationName;
    if (char name[256] = {}; station.empty() && ::gethostname(name, sizeof name - 1) == 0)
        station = cli::printable(name, sizeof name);
    return {options.operatorName, station, toolName, std::string(station::version),
            cli::randomUuid(),    {},      {}};
}

StoreChoice storeChoice(const RunOptions &options)
{
    if (options.noStore)
        return {};
    return options.store.empty() ? StoreChoice{store::defaultStorePath(), true, true}
                                 : StoreChoice{options.store, false, true};
}

void checkRunOptions(const RunOptions &options)
{
    if (options.noProtocols && !options.protocols.empty())
        throw UsageError("--protocols and --no-protocols do not go together");
    if (options.noStore && !options.store.empty())
        throw UsageError("--store and --no-store do not go together");
}

void noteProtocolList(RunIdentity &identity, const std::string &path)
{
    std::error_code error;
    identity.protocolsPath = cli::wellFormedUtf8(std::filesystem::absolute(path, error).string());
    auto opened = cli::openInputFile(path, station::protocolFileLimitBytes);
    std::vector<std::uint8_t> bytes;
    if (auto *file = std::get_if<cli::InputFile>(&opened)) {
        std::uint8_t block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, file->get())) > 0;)
            bytes.insert(bytes.end(), block, block + got);
    }
    identity.protocolsSha256 = cli::sha256Hex(bytes);
}

} // namespace engine
