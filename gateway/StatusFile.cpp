#include "StatusFile.h"

#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/DateTimeParser.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Path.h>
#include <Poco/Timestamp.h>

#include <ostream>

#include "PrivateFile.h"

namespace Orvik::Gateway
{

StatusFile::StatusFile(const std::string& path) : _path(path) {}

std::string StatusFile::pathFor(const std::string& databasePath)
{
    Poco::Path path(databasePath);
    path.setFileName(path.getBaseName() + ".status.json");
    return path.toString();
}

void StatusFile::write(const Poco::JSON::Object& status) const
{
    const std::string temporary = _path + ".new";
    PrivateFile::create(temporary);
    {
        Poco::FileOutputStream out(temporary);
        status.stringify(out, 2);
        out << '\n';
        out.close();
        if (!out.good())
            throw Poco::WriteFileException(temporary);
    }
    Poco::File(temporary).renameTo(_path);
}

void StatusFile::print(std::ostream& out) const
{
    if (!Poco::File(_path).exists())
        throw Poco::FileNotFoundException("No status file " + _path +
                                          " (the gateway has not run with this database, or not yet)");
    Poco::JSON::Object::Ptr pStatus;
    try
    {
        Poco::FileInputStream in(_path);
        pStatus = Poco::JSON::Parser().parse(in).extract<Poco::JSON::Object::Ptr>();
    }
    catch (Poco::Exception& e)
    {
        throw Poco::DataFormatException(_path + " is not a status file: " + e.displayText());
    }
    const std::string written = pStatus->optValue<std::string>("written", "");
    out << "Gateway (pid " << pStatus->optValue<int>("pid", 0) << "), started "
        << pStatus->optValue<std::string>("started", "?") << "; status written " << written << "\n";
    int zone = 0;
    Poco::DateTime writtenAt;
    const double interval = pStatus->optValue<double>("interval", 0);
    if (Poco::DateTimeParser::tryParse(Poco::DateTimeFormat::ISO8601_FORMAT, written, writtenAt, zone) &&
        (Poco::Timestamp() - writtenAt.timestamp()) >
            static_cast<Poco::Timestamp::TimeDiff>(3 * interval * 1e6))
        out << "  not updated for more than " << 3 * interval << " s: the gateway may not be running\n";
    if (pStatus->optValue<bool>("alive", false))
        out << "  alive: every worker answers\n";
    else
    {
        out << "  NOT ALIVE, not answering:";
        const Poco::JSON::Array::Ptr pSilent = pStatus->getArray("silent");
        for (std::size_t i = 0; !pSilent.isNull() && i < pSilent->size(); ++i)
            out << " " << pSilent->getElement<std::string>(i);
        out << "\n";
    }
    const Poco::JSON::Array::Ptr pApps = pStatus->getArray("apps");
    for (std::size_t i = 0; !pApps.isNull() && i < pApps->size(); ++i)
    {
        const Poco::JSON::Object::Ptr pApp = pApps->getObject(i);
        out << "  " << pApp->optValue<std::string>("name", "?") << ": running since "
            << pApp->optValue<std::string>("since", "?") << ", " << pApp->optValue<int>("restarts", 0)
            << " restarts";
        const std::string state = pApp->optValue<std::string>("state", "");
        if (!state.empty())
            out << ", " << state;
        out << "\n";
        if (pApp->has("positions"))
            out << "    " << pApp->optValue<unsigned>("trend logs", 0)
                << " trend logs, newest uploaded record "
                << pApp->optValue<std::string>("newest uploaded record", "none") << ", last upload seen "
                << pApp->optValue<std::string>("upload seen", "none since the start") << "\n";
    }
}

}  // namespace Orvik::Gateway
