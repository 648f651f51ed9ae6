// Lumetta for Windows: reads the command line, as on Linux, and makes the pictures asked for.
#include "app/command_line.h"
#include "core/windows_text.h"
#include "export/headless_render.h"
#include "windows/screensaver.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The program's own folder, where the backdrop picture is installed beside it.
std::string ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : Narrow(path.substr(0, slash));
}

// The console shows the program's UTF-8 messages as they are written, and is given back its
// own code page when the program ends.
UINT g_consoleCodePage = 0;

void GiveBackCodePage()
{
    if (g_consoleCodePage != 0)
        SetConsoleOutputCP(g_consoleCodePage);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    g_consoleCodePage = GetConsoleOutputCP();
    if (g_consoleCodePage != 0 && g_consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(GiveBackCodePage);
    else
        g_consoleCodePage = 0;
    const std::string installedData = ProgramFolder();
    const std::vector<std::wstring> wide(argv, argv + argc);
    if (int status = 0; RunScreensaverIfAsked(wide, installedData, status))
        return status;
    // Every argument in UTF-8, as on Linux: a name in any script reaches its file.
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(Narrow(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    const CommandLine command = ParseCommandLine(argc, pointers.data(), std::cout, std::cerr, installedData);
    switch (command.action) {
    case CommandLine::Action::Exit:
        return command.exitStatus;
    case CommandLine::Action::Render:
        return RenderHeadless(command.render, installedData);
    case CommandLine::Action::Saver:
    case CommandLine::Action::Ornament:
        std::fprintf(stderr, "lumetta: the screensaver and the ornament of this build are Linux's\n");
        return 2;
    case CommandLine::Action::Window:
        break;
    }
    std::fprintf(stderr,
                 "lumetta: this Windows build makes pictures (--render FILE.png); its window is still to come\n");
    return 1;
}
