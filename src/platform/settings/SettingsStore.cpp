#include "platform/settings/SettingsStore.h"
