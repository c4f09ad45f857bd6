#include "Orvik_Watson/DataConnection.h"

namespace Orvik
{
namespace MQTT
{
namespace Watson
{

DataConnection::DataConnection()
{
    setauthMethod("token");
}

}  // namespace Watson
}  // namespace MQTT
}  // namespace Orvik
