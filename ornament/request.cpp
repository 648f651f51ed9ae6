#include "ornament/request.h"

#include "os/fail.h"

#include <cstdio>
#include <sstream>

namespace {

std::string Who(long pid)
{
    return pid > 0 ? " (process " + std::to_string(pid) + ")" : "";
}

// What the options ask of an ornament that hangs already, said as the command line said it.
OrnamentRequest RequestOf(const OrnamentOptions& options, std::string& said)
{
    OrnamentRequest request;
    request.pattern = options.patternGiven ? options.start.pattern : 0;
    request.spin = options.start.spin;
    request.above = options.above;
    request.geometry = options.geometryText;
    const auto say = [&](const std::string& option) { said += (said.empty() ? "" : " ") + option; };
    if (request.pattern != 0)
        say("--pattern " + std::to_string(request.pattern));
    if (request.spin)
        say("--spin");
    if (request.above)
        say("--above");
    if (!request.geometry.empty())
        say("--geometry " + request.geometry);
    return request;
}

}  // namespace

std::string RequestText(const OrnamentRequest& request)
{
    std::string text;
    const auto word = [&](const std::string& w) { text += (text.empty() ? "" : " ") + w; };
    if (request.stop)
        word("stop");
    if (request.pattern != 0)
        word("pattern=" + std::to_string(request.pattern));
    if (request.spin)
        word("spin");
    if (request.above)
        word("above");
    if (!request.geometry.empty())
        word("geometry=" + request.geometry);
    return text;
}

OrnamentRequest ReadRequest(const std::string& line)
{
    OrnamentRequest request;
    std::istringstream words(line);
    for (std::string w; words >> w;) {
        if (w == "stop")
            request.stop = true;
        else if (w == "spin")
            request.spin = true;
        else if (w == "above")
            request.above = true;
        else if (w.size() == 9 && w.compare(0, 8, "pattern=") == 0 && w[8] >= '1' && w[8] <= '3')
            request.pattern = w[8] - '0';
        else if (w.compare(0, 9, "geometry=") == 0)
            request.geometry = w.substr(9);
    }
    return request;
}

int TellHanging(const HangingContact& hanging, const OrnamentOptions& options)
{
    const std::string who = Who(hanging.pid);
    if (options.stop) {
        OrnamentRequest stop;
        stop.stop = true;
        if (!hanging.send(stop) || !hanging.waitGone())
            return Fail("the ornament that hangs on this desktop" + who + " did not answer", 1);
        std::fprintf(stderr, "lumetta: took down the ornament that hung on this desktop%s\n", who.c_str());
        return 0;
    }
    if (!options.notHanded.empty()) {
        std::string refused;
        for (const std::string& option : options.notHanded)
            refused += (refused.empty() ? "" : ", ") + option;
        return Fail("an ornament hangs on this desktop already" + who + ", and " + refused +
                        " cannot be handed to it; take it down first with lumetta --ornament --stop",
                    2);
    }
    std::string said;
    const OrnamentRequest request = RequestOf(options, said);
    if (said.empty()) {
        std::fprintf(stderr,
                     "lumetta: an ornament hangs on this desktop already%s; take it down with its menu (a right "
                     "click on it), or with lumetta --ornament --stop\n",
                     who.c_str());
        return 0;
    }
    if (!hanging.send(request))
        return Fail("the ornament that hangs on this desktop" + who + " did not answer", 1);
    std::fprintf(stderr, "lumetta: an ornament hangs on this desktop already%s; handed it %s\n", who.c_str(),
                 said.c_str());
    return 0;
}
