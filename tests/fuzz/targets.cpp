#include "tests/fuzz/targets.h"

#include "app/command_line.h"
#include "core/scene_state.h"
#include "view/panel.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

void FuzzPanelBytes(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::tmpfile();
    if (!file)
        return;
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::fclose(file);
        return;
    }
    std::rewind(file);
    auto texels = std::make_unique<std::uint8_t[]>(kPanelTexelBytes);
    DecodePanelTexels(file, texels.get());
    std::fclose(file);
}

void FuzzCommandLine(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args = {"lumetta"};
    std::string arg;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (!arg.empty())
        args.push_back(arg);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const CommandLine command = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    // Whatever is given, the answer is one of the actions, and a refusal says why.
    if (command.action == CommandLine::Action::Exit && command.exitStatus == 2 && err.str().empty())
        __builtin_trap();
}
