#include "app/ClientState.h"

namespace app {

ClientState &client()
{
    static ClientState state;
    return state;
}

std::atomic<bool> &BatchTestRunning()
{
    static std::atomic<bool> running = false;
    return running;
}

QString &ProgramFolder()
{
    static QString folder;
    return folder;
}

} // namespace app
