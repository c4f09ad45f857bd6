#include <Poco/Path.h>

#include <unistd.h>

#include <climits>
#include <iostream>
#include <string>
#include <vector>

#include "ConfigCommand.h"
#include "GatewayApplication.h"

namespace
{
/// The folder of the running program ("/usr/bin/"), however it was started.
std::string programFolder(const char* argv0)
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    const std::string program =
        length > 0 ? std::string(path, length) : Poco::Path(argv0).absolute().toString();
    return Poco::Path(program).parent().toString();
}
}  // namespace

int main(int argc, char** argv)
{
    // "orvik-gateway config ..." configures the apps; everything else runs the gateway.
    if (argc > 1 && std::string(argv[1]) == "config")
    {
        Orvik::Gateway::ConfigCommand command(std::vector<std::string>(argv + 2, argv + argc),
                                              programFolder(argv[0]));
        return command.run(std::cout, std::cerr);
    }
    try
    {
        Orvik::Gateway::GatewayApplication application;
        return application.run(argc, argv);
    }
    catch (Poco::Exception& e)
    {
        std::cerr << e.displayText() << std::endl;
        return Poco::Util::Application::EXIT_SOFTWARE;
    }
}
