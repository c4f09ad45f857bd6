#pragma once

#include <optional>
#include <string>

#include "AppCatalogue.h"

namespace Orvik::Gateway
{

/// What an app refuses at its start beyond the datatype of a parameter: the texts that the trend log
/// pusher sends to the FTP server and the names the cloud bridge gives the platform. The configuration
/// command refuses them up front, so that a value it writes is one the app starts with.
///
/// The apps' own checks decide (DocumentUpload::problemWith, BridgeSettings::problemWith); this class
/// adds the form in words for the message. An empty text (no value) is not checked here.
class ParameterRules
{
public:
    struct Refusal
    {
        std::string expected;    ///< the form in words with an example
        std::string problem;     ///< what is wrong with the text given
        bool hidesText = false;  ///< the text holds a secret: a message does not repeat it
    };

    /// The refusal of `text` (a stored text) as the value of `parameter` of `app`, or nothing.
    static std::optional<Refusal> check(const AppCatalogue::App& app,
                                        const AppCatalogue::Parameter& parameter, const std::string& text);
};

}  // namespace Orvik::Gateway
