#include "PreferenceRecord.h"

#include "FramedRecord.h"

std::string PreferenceRecord(const std::string& language)
{
    // The language property's identifier, written out: a slip in the
    // product's constant must not pass unseen.
    return FramedRecord(R"({"Properties":[{"Name":"9F8EE615-2887-4AF9-8A06-37902964D991","Value":")" + language +
                        "\"}]}");
}
