#include "MosquittoBroker.h"

#include "Eventually.h"
#include "FreePort.h"
#include "TextFile.h"
#include "TlsCertificates.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include <unistd.h>

namespace Orvik::Test
{

namespace
{

std::vector<std::pair<std::string, std::string>> usersOf(const std::string& user, const std::string& password)
{
    if (user.empty())
        return {};
    return {{user, password}};
}

}  // namespace

MosquittoBroker::MosquittoBroker(const TlsCertificates* tls, const std::string& user,
                                 const std::string& password)
    : MosquittoBroker(Options{tls, usersOf(user, password), false, ""})
{
}

MosquittoBroker::MosquittoBroker(const Options& options)
    : _secure(options.tls != nullptr), _port(freeLoopbackPort())
{
    _temporaryFolder.createDirectories();
    _configFile = _folder + "/mosquitto.conf";
    _logFile = _folder + "/mosquitto.log";
    writeConfiguration(options);
    start();
}

MosquittoBroker::~MosquittoBroker()
{
    kill();
}

std::string MosquittoBroker::uri() const
{
    return (_secure ? "ssl://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(_port);
}

std::string MosquittoBroker::webSocketUri() const
{
    return "ws://127.0.0.1:" + std::to_string(_webSocketPort);
}

void MosquittoBroker::kill()
{
    if (!_process)
        return;
    try
    {
        Poco::Process::kill(*_process);
        _process->wait();
    }
    catch (const Poco::Exception&)
    {
        // Already gone.
    }
    _process.reset();
}

void MosquittoBroker::stop()
{
    if (!_process)
        return;
    Poco::Process::requestTermination(_process->id());
    _process->wait();
    _process.reset();
}

void MosquittoBroker::start()
{
    if (_process)
        return;
    _process = std::make_unique<Poco::ProcessHandle>(Poco::Process::launch(
        "/usr/sbin/mosquitto", {"-c", _configFile}, _folder, nullptr, nullptr, nullptr));
    // Listening once a connection is accepted.
    const auto accepts = [this]
    {
        try
        {
            Poco::Net::StreamSocket socket(Poco::Net::SocketAddress("127.0.0.1", _port));
            return true;
        }
        catch (const Poco::Net::NetException&)
        {
            return false;
        }
    };
    if (eventually(accepts, std::chrono::seconds(10), std::chrono::milliseconds(20)))
        return;
    kill();
    throw Poco::RuntimeException("mosquitto did not start", log());
}

bool MosquittoBroker::awaitRedial(int timeoutMs) const
{
    Poco::Net::ServerSocket listener;
    listener.bind(Poco::Net::SocketAddress("127.0.0.1", _port), true);
    listener.listen();
    return listener.poll(Poco::Timespan(0, timeoutMs * 1000), Poco::Net::Socket::SELECT_READ);
}

std::string MosquittoBroker::log() const
{
    return readFileIfAny(_logFile);
}

void MosquittoBroker::writeConfiguration(const Options& options)
{
    Poco::FileOutputStream out(_configFile);
    // Run as root, mosquitto would switch to its own user before reading the key files.
    if (geteuid() == 0)
        out << "user root\n";
    // Generous queues: a test subscriber may fall behind a burst of QoS 1 messages.
    out << "persistence " << (options.persistent ? "true\npersistence_location " + _folder + "/" : "false")
        << "\nmax_inflight_messages " << options.receiveMaximum
        << "\nmax_queued_messages 1000000\nlog_dest file " << _logFile << "\n"
        << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\nlog_type subscribe\n"
        << "listener " << _port << " 127.0.0.1\n";
    if (options.tls != nullptr)
        out << "certfile " << options.tls->serverCertFile() << "\nkeyfile " << options.tls->serverKeyFile()
            << "\n";
    if (options.requireCertificate)
        out << "cafile " << options.tls->caFile()
            << "\nrequire_certificate true\nuse_identity_as_username true\n";
    if (!options.acl.empty())
    {
        writeFile(_folder + "/acl", options.acl);
        out << "acl_file " << _folder << "/acl\n";
    }
    if (options.webSockets)
    {
        // Without socket_domain the WebSocket listener ignores its address and takes every interface.
        _webSocketPort = freeLoopbackPort();
        out << "listener " << _webSocketPort << " 127.0.0.1\nsocket_domain ipv4\nprotocol websockets\n";
    }
    if (options.users.empty())
    {
        out << "allow_anonymous " << (options.requireCertificate ? "false" : "true") << "\n";
        return;
    }
    const std::string passwordFile = _folder + "/passwords";
    for (const auto& [user, password] : options.users)
    {
        std::vector<std::string> args{"-b", passwordFile, user, password};
        if (!Poco::File(passwordFile).exists())
            args.insert(args.begin(), "-c");  // makes the file
        if (Poco::Process::launch("/usr/bin/mosquitto_passwd", args).wait() != 0)
            throw Poco::RuntimeException("mosquitto_passwd failed");
    }
    out << "allow_anonymous false\npassword_file " << passwordFile << "\n";
}

}  // namespace Orvik::Test
