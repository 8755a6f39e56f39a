#include "engine/foreperiod.h"

#include "engine/errors.h"
#include "engine/integer_conversion.h"
#include "engine/messages.h"

namespace engine {

std::uint32_t foreperiodMilliseconds(const std::string& line)
{
    const std::int64_t seconds = toInteger(line);
    if (seconds < 0 || seconds > kMaxForeperiodSeconds) {
        throw FormatError(text::formatMessage(messages::kInvalidForeperiod, {line}));
    }
    return static_cast<std::uint32_t>(seconds * 1000);
}

} // namespace engine
