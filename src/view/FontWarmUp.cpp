#include "view/FontWarmUp.h"

#include <fontconfig/fontconfig.h>

FontWarmUp::FontWarmUp() : thread_([] { FcInit(); }) {}

FontWarmUp::~FontWarmUp()
{
    wait();
}

void FontWarmUp::wait()
{
    if (thread_.joinable()) {
        thread_.join();
    }
}
