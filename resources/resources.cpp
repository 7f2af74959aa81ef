#include "resources/resources.h"

namespace velloran::resources {

QStringList allPictures()
{
    return {kMainTemplate, kSceneTemplate, kChatTemplate, kConsoleTemplate,
            kSwatch, kSliderThumb, kSliderRail, kWindowIcon};
}

} // namespace velloran::resources
