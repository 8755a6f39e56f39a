#include "engine/fakes_test.h"

#include "engine/errors.h"
#include "engine/messages.h"

#include <algorithm>

namespace engine::testing {

void FakeDisplay::showInstruction(const std::string& fileName)
{
    if (std::find(missingFiles.begin(), missingFiles.end(), fileName) != missingFiles.end()) {
        throw IoError(text::formatMessage(messages::kCannotOpenFile, {fileName}));
    }
    actions.push_back("instruction:" + fileName);
    instructionVisible = true;
}

} // namespace engine::testing
