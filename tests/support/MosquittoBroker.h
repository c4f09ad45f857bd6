#pragma once

#include <Poco/Process.h>
#include <Poco/TemporaryFile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Orvik::Test
{

class TlsCertificates;

/// A real mosquitto broker on a free port of 127.0.0.1, with its configuration, password
/// file and log in a temporary folder (removed by the destructor, which also kills the
/// broker).
///
/// Plain MQTT by default; with certificates the one listener speaks TLS 1.2 or later
/// with the given server certificate. With a user name the broker requires that user and
/// password; without one it lets every client in. Options add client certificates (required, signed
/// by the TLS authority, their common name taken as the user name) and an ACL file's text. The constructor
/// returns once the broker accepts connections and throws Poco::RuntimeException (with the broker's log) when
/// it does not within 10 s. With `webSockets` a second, plain listener on another free port of 127.0.0.1
/// speaks MQTT over WebSockets (webSocketUri()). `kill()` ends the broker at once (SIGKILL) and `start()`
/// brings it back on the same port, so a test can cut clients off and let them return.
class MosquittoBroker
{
public:
    struct Options
    {
        const TlsCertificates* tls = nullptr;
        /// User names and passwords the broker requires; none: every client may come in.
        std::vector<std::pair<std::string, std::string>> users;
        bool requireCertificate = false;
        std::string acl;
        /// Sessions and their queued messages outlive a stop() (not a kill()).
        bool persistent = false;
        /// QoS 1 messages a client may have unacknowledged, announced to MQTT 5 clients as the receive
        /// maximum (mosquitto's default: 20).
        int receiveMaximum = 20;
        bool webSockets = false;
    };

    explicit MosquittoBroker(const TlsCertificates* tls = nullptr, const std::string& user = "",
                             const std::string& password = "");
    explicit MosquittoBroker(const Options& options);
    ~MosquittoBroker();

    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    std::uint16_t port() const { return _port; }
    /// "tcp://127.0.0.1:<port>" or "ssl://127.0.0.1:<port>".
    std::string uri() const;
    /// "ws://127.0.0.1:<port of the WebSocket listener>".
    std::string webSocketUri() const;
    void kill();
    /// Ends the broker as a service stop does (SIGINT): it saves what it keeps first.
    void stop();
    void start();
    /// While the broker is down: waits until a client dials its port (and refuses it), so that the
    /// client's next attempt is a whole retry wait away. False when none did within `timeoutMs`.
    bool awaitRedial(int timeoutMs = 30000) const;
    std::string log() const;

private:
    void writeConfiguration(const Options& options);

    Poco::TemporaryFile _temporaryFolder;  // removed after the broker is killed
    std::string _folder = _temporaryFolder.path();
    std::string _configFile;
    std::string _logFile;
    bool _secure;
    std::uint16_t _port;
    std::uint16_t _webSocketPort = 0;
    std::unique_ptr<Poco::ProcessHandle> _process;
};

}  // namespace Orvik::Test
