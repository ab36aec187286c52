// Keeping a window alive through a long sequence on its own thread.
#pragma once

#include <functional>

// Called between the steps of a long sequence on the window's thread so
// that the window stays painted and answers; may be empty.
using KeepAlive = std::function<void()>;

// Sleep(|milliseconds|) that calls |keep_alive| every few milliseconds
// meanwhile. Without |keep_alive| it is a plain Sleep.
void PauseKeepingAlive(unsigned long milliseconds, const KeepAlive& keep_alive);
