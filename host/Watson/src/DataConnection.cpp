#include "Orvik_Watson/DataConnection.h"

namespace Orvik::MQTT::Watson
{

DataConnection::DataConnection()
{
    setauthMethod("token");
}

}  // namespace Orvik::MQTT::Watson
