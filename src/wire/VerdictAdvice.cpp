#include "VerdictAdvice.h"

namespace wire {

const char* verdictAdvice(std::string_view status)
{
    if (status == "tweaked")
        return "put the genuine descriptor back and send it again";
    if (status == "damaged")
        return "send the file again";
    return nullptr;
}

} // namespace wire
