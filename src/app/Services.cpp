#include "app/Services.h"

namespace app {

Services &services()
{
    static Services instance;
    return instance;
}

} // namespace app
