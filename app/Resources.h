// Resource identifiers of the updater's .exe.
#pragma once

#define IDR_BANNER 101
