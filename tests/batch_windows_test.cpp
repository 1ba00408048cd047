// cellport-batch.exe under Wine: a tree Windows can hold, with names no
// ANSI code page carries and characters cmd would take for its own; a
// rerun; a stop asked for while it runs; and the command lines it builds.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <sstream>

#include "platform/interrupt_watch.h"
#include "platform/utf8_path.h"
#include "platform/windows_text.h"
#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::PathOf;

const std::string batch = CELLPORT_BATCH_PROGRAM;
const std::string header =
    "data type : byte\nfile type : binary\ncolumns : 4\nrows : 3\nmin. X : 0\nmax. X : 4\nmin. Y : 0\nmax. Y : 3\n";
constexpr std::uintmax_t gridCellBytes = 4 * 3 * 4;

class WindowsBatch : public testing::Test {
protected:
    fs::path At(const std::string& utf8) const { return scratch.Path() / PathOf(utf8); }
    void Image(const std::string& base, const std::string& cells = std::string(12, '\7')) {
        fs::create_directories(At(base).parent_path());
        WriteFile(At(base + ".doc"), header);
        WriteFile(At(base + ".img"), cells);
    }
    // Each image's outcome by its path below images/, from the log.
    std::map<std::string, std::string> Outcomes() const {
        std::map<std::string, std::string> outcomes;
        std::istringstream log(ReadFile(scratch / "log.txt"));
        for (std::string line; std::getline(log, line);) {
            std::string base = line.substr(0, line.find('\t')), unescaped;
            for (std::size_t at = 0; at < base.size(); ++at) {
                if (base[at] == '\\') ++at;
                unescaped += base[at] == '\\' ? '/' : base[at];
            }
            const std::size_t outcome = line.find('\t', line.find('\t') + 1) + 1;
            outcomes[unescaped.substr(std::string("images/").size())] =
                line.substr(outcome, line.find('\t', outcome) - outcome);
        }
        return outcomes;
    }
    bool IsWholeGrid(const std::string& grid) const {
        std::error_code error;
        return fs::is_regular_file(At(grid + "/cells.hdr")) &&
               fs::file_size(At(grid + "/cells.raw"), error) == gridCellBytes;
    }
    const ScratchFolder scratch;
};

TEST_F(WindowsBatch, HostileTreeThenARerun) {
    const std::vector<std::string> named = {"with blank", "per%PATH%cent", "caret^and&amp", "quote's",
                                            "Łukasz", "日本/地図", "nested/deep/good", "2020/jan"};
    for (const std::string& name : named) Image("images/" + name);
    Image("images/2020");  // beside a folder of images of its name
    Image("images/corrupt", "short");
    Image("images/taken");
    fs::create_directories(At("grids"));
    WriteFile(At("grids/taken"), "a file of the user's");
    Image("images/killed");
    fs::create_directories(At("grids/killed"));
    WriteFile(At("grids/killed/cells.raw"), "half");
    WriteFile(At("grids/killed/cells.hdr.partial"), "half");
    Image("images/blocked");
    fs::create_directories(At("grids/blocked"));
    WriteFile(At("grids/blocked/notes.txt"), "the user's");
    Image("images/held");  // what a run writing it now holds, without sharing deletion
    fs::create_directories(At("grids/held"));
    WriteFile(At("grids/held/cells.raw"), "being written");
    const HANDLE held = CreateFileW(At("grids/held").c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    Image("images/damaged");
    fs::create_directories(At("grids/damaged"));
    WriteFile(At("grids/damaged/cells.hdr"), "samples = 4\nlines = 3\nheader offset = 0\n");
    WriteFile(At("grids/damaged/cells.raw"), "short");

    std::map<std::string, std::string> expected = {{"2020", "failed"},  {"corrupt", "failed"},
                                                   {"taken", "failed"},  {"killed", "converted"},
                                                   {"blocked", "failed"}, {"damaged", "failed"},
                                                   {"held", "failed"}};
    for (const std::string& name : named) expected[name] = "converted";
    const ProcessResult first =
        RunProcess({batch, "--log", "log.txt", "-j", "4", "images", "grids"}, {}, scratch.Path());
    EXPECT_EQ(first.exitStatus, 1) << first.standardError;
    EXPECT_EQ(Outcomes(), expected) << first.standardError;
    for (const auto& [name, outcome] : expected)
        EXPECT_EQ(IsWholeGrid("grids/" + name), outcome == "converted") << name;
    EXPECT_EQ(ReadFile(At("grids/taken")), "a file of the user's");
    EXPECT_EQ(ReadFile(At("grids/blocked/notes.txt")), "the user's");
    EXPECT_EQ(ReadFile(At("grids/damaged/cells.raw")), "short");
    EXPECT_EQ(ReadFile(At("grids/held/cells.raw")), "being written");
    EXPECT_NE(first.standardError.find("images\\held: grids\\held is being written by another run"),
              std::string::npos) << first.standardError;
    CloseHandle(held);

    const ProcessResult rerun = RunProcess({batch, "--log", "log.txt", "images", "grids"}, {}, scratch.Path());
    EXPECT_EQ(rerun.exitStatus, 1);
    // Let go, it is a killed run's leftover, cleared and converted.
    EXPECT_NE(rerun.standardError.find("cellport-batch: 1 converted, 9 kept, 5 failed"), std::string::npos)
        << rerun.standardError;
    for (auto& [name, outcome] : expected)
        if (outcome == "converted") outcome = "kept";
    expected["held"] = "converted";
    EXPECT_EQ(Outcomes(), expected);
}

struct Started {
    DWORD exitStatus = 0;
    std::string output;
};

// Runs a program of the build from the scratch folder, its output and
// errors into one file, and `meanwhile` while it runs.
Started RunWhile(const std::wstring& commandLine, const ScratchFolder& scratch,
                 const std::function<void(HANDLE process)>& meanwhile) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    fs::remove(scratch / "output");
    const HANDLE output = CreateFileW((scratch / "output").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    Started started;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, scratch.Path().c_str(), &startup,
                       &process)) {
        meanwhile(process.hProcess);
        if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 9);
        GetExitCodeProcess(process.hProcess, &started.exitStatus);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(output);
    started.output = ReadFile(scratch / "output");
    std::erase(started.output, '\r');
    return started;
}

// With its stop event set, as a batch sets it when interrupted: from the
// start, or once `stopOnceMade` exists.
Started RunStopped(const std::wstring& commandLine, const ScratchFolder& scratch, const fs::path& stopOnceMade = {}) {
    const std::wstring eventName = L"cellport-test-stop-" + std::to_wstring(GetTickCount64());
    const HANDLE stop = CreateEventW(nullptr, TRUE, stopOnceMade.empty(), eventName.c_str());
    SetEnvironmentVariableW(platform::stopEventVariable, eventName.c_str());
    const Started started = RunWhile(commandLine, scratch, [&](HANDLE process) {
        for (int waited = 0; !stopOnceMade.empty() && !fs::exists(stopOnceMade) && waited < 30000; waited += 10)
            if (WaitForSingleObject(process, 10) == WAIT_OBJECT_0) break;
        SetEvent(stop);
    });
    SetEnvironmentVariableW(platform::stopEventVariable, nullptr);
    CloseHandle(stop);
    return started;
}

std::wstring Program(const std::string& path) { return L"\"" + fs::path(path).make_preferred().wstring() + L"\""; }

// A converter asked to stop removes its grid; a batch asked to stop starts
// no more conversions, waits for those running, keeps the log of those
// settled and exits 130.
TEST_F(WindowsBatch, AStopEndsConverterAndBatchCleanly) {
    Image("single");
    const Started converter = RunStopped(Program(CELLPORT_PROGRAM) + L" single grid", scratch);
    EXPECT_EQ(converter.exitStatus, 130u);
    EXPECT_EQ(converter.output, "Conversion interrupted\n");
    EXPECT_FALSE(fs::exists(At("grid")));

    constexpr int images = 40;
    for (int at = 0; at < images; ++at) Image("images/i" + std::to_string(at));
    const Started run = RunStopped(Program(batch) + L" --log log.txt -j 2 images grids", scratch);
    EXPECT_EQ(run.exitStatus, 130u) << run.output;
    EXPECT_NE(run.output.find(" not started (interrupted)"), std::string::npos) << run.output;
    const std::map<std::string, std::string> logged = Outcomes();
    EXPECT_LT(logged.size(), static_cast<std::size_t>(images));
    std::size_t grids = 0;
    for (const auto& entry : fs::directory_iterator(At("grids"), fs::directory_options::none)) {
        ++grids;
        const std::string name = platform::Utf8Of(entry.path().filename());
        EXPECT_TRUE(IsWholeGrid("grids/" + name) || logged.count(name) == 0) << name;
    }
    EXPECT_LE(grids, logged.size());
}

// A conversion of 36 million cells is stopped while it writes its grid.
TEST_F(WindowsBatch, AStopReachesARunningConverter) {
    fs::create_directories(At("images"));
    WriteFile(At("images/big.doc"), "data type : byte\nfile type : binary\ncolumns : 6000\nrows : 6000\n"
                                    "min. X : 0\nmax. X : 6000\nmin. Y : 0\nmax. Y : 6000\n");
    WriteFile(At("images/big.img"), "");
    fs::resize_file(At("images/big.img"), 6000 * 6000);
    const Started run = RunStopped(Program(batch) + L" --log log.txt images grids", scratch, At("grids/big/cells.raw"));
    EXPECT_EQ(run.exitStatus, 130u) << run.output;
    EXPECT_FALSE(fs::exists(At("grids/big"))) << run.output;
    EXPECT_EQ((Outcomes()), (std::map<std::string, std::string>{{"big", "failed"}})) << ReadFile(At("log.txt"));
}

// Console events reach the batch as Windows sends them, a runner playing
// Windows' part as for the converter: each stops it, with its summary
// written and status 130, also a closed window, after which Windows would
// end it as soon as the handler returned.
TEST_F(WindowsBatch, EachConsoleEventStopsIt) {
    for (int at = 0; at < 8; ++at) Image("images/i" + std::to_string(at));
    for (const std::wstring events : {L"0", L"1", L"2", L"5", L"6", L"2,0"}) {
        SCOPED_TRACE(platform::Utf8(events));
        const std::wstring go = L"cellport-test-go-" + std::to_wstring(GetTickCount64());
        const HANDLE goEvent = CreateEventW(nullptr, TRUE, TRUE, go.c_str());
        const Started run = RunWhile(Program(BATCH_CONSOLE_EVENT_RUNNER) + L" " + events + L" " + go +
                                         L" --log log.txt -j 2 images grids",
                                     scratch, [](HANDLE) {});
        CloseHandle(goEvent);
        EXPECT_EQ(run.exitStatus, 130u) << run.output;
        EXPECT_NE(run.output.find(" not started (interrupted)"), std::string::npos) << run.output;
    }
}

// What the C runtime of the converter splits the command line into, as
// CommandLineToArgvW does.
TEST(WindowsCommandLine, EveryArgumentComesBackAsItWas) {
    const std::vector<std::wstring> arguments = {
        L"C:\\program files\\cellport.exe", L"", L"plain", L"with blank", L"quote\"inside", L"\"",
        L"trailing\\", L"trailing blank \\", L"two\\\\", L"back\\\"quote", L"\\\\server\\share\\x",
        L"%PATH% ^& | < >", L"tab\there", L"Łukasz 日本"};
    int count = 0;
    wchar_t** split = CommandLineToArgvW(platform::QuotedCommandLine(arguments).c_str(), &count);
    ASSERT_NE(split, nullptr);
    const std::vector<std::wstring> back(split, split + count);
    LocalFree(split);
    EXPECT_EQ(back, arguments);
}

}  // namespace
