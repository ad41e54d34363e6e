#pragma once

// The host program's own clock.h: the control's headers must not hide it, nor clash with it.
namespace host
{
inline int ticksPerSecond()
{
    return 1000;
}
} // namespace host
