// Lumetta: reads the command line, then either opens the window or renders headless.
#include "app/command_line.h"
#include "app/headless_render.h"
#include "app/lumetta_app.h"

#include <iostream>

wxIMPLEMENT_APP_NO_MAIN(COrbelle3App);

int main(int argc, char** argv)
{
    const CommandLine command = ParseCommandLine(argc, argv, std::cout, std::cerr);
    switch (command.action) {
    case CommandLine::Action::Exit:
        return command.exitStatus;
    case CommandLine::Action::Render:
        return RenderHeadless(command.render);
    case CommandLine::Action::Window:
        break;
    }
    COrbelle3App::SetStartDocument(command.document);
    // wx sees only the program name: the rest of the command line has been read.
    int wxArgc = 1;
    return wxEntry(wxArgc, argv);
}
