#pragma once

#include <Poco/Types.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "DataConfiguredInstance.h"

namespace Orvik::Gateway
{

/// The configuration of one controller as one readable JSON document, to keep under version
/// control and to apply to another gateway:
///
///     {
///       "controller": 1,
///       "instances": [
///         {
///           "name": "Trend log upload",
///           "app": "AppTrendLogPusher",
///           "enabled": true,
///           "parameters": { "period": "15", "ftp-server": "ftp://ftp.example.com" }
///         }
///       ]
///     }
///
/// Parameters are named by their readable names and hold their stored text (ValueText.h); a JSON
/// number or boolean stands for its text. Only stored values are written, never the values an app
/// keeps itself (the pusher's upload positions): a parameter left out reads as its default. Secret
/// values (AppCatalogue) are written only when asked for; an import keeps the stored secrets a
/// document leaves out (ConfigurationEditor::apply). "controller" is informational; "enabled" is true
/// when left out.
class ConfigurationDocument
{
public:
    /// Reads a document. Throws Poco::DataFormatException naming what is wrong: not JSON, a member
    /// named twice in one object (JSON parsers would silently keep one), a missing or mistyped member.
    static std::vector<DataInstanceSpec> read(std::istream& in);

    /// Writes the stored values of `instances` (those of a known app) as a document, the secret ones
    /// only `withSecrets`.
    static void write(std::ostream& out, Poco::Int32 idDvController,
                      const std::vector<DataConfiguredInstance>& instances, bool withSecrets);
};

}  // namespace Orvik::Gateway
