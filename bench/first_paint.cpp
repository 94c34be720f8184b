// qp_first_paint: how long a viewer takes from its start to the first paint of a picture, seen
// from outside, so that any viewer can be measured the same way.
//
//   qp_first_paint TIMEOUT_MS COMMAND [ARGS...]
//
// Starts COMMAND and watches the middle of the screen (64 x 64 pixels of the X root window,
// every 2 ms) until nine in ten of its pixels have the colour of the pictures made by
// `qp_timing_tool make-marked`: red and blue high, green low, whatever the scale. Prints the
// milliseconds from just before the start to the first such look, or "timeout"; then ends the
// viewer.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

bool Marked(unsigned long pixel) {
  const unsigned r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  return r >= 150 && b >= 110 && g <= 90;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: qp_first_paint TIMEOUT_MS COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  const long timeoutMs = std::atol(argv[1]);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fputs("qp_first_paint: no display\n", stderr);
    return 2;
  }
  const Window root = DefaultRootWindow(display);
  const int sw = DisplayWidth(display, DefaultScreen(display));
  const int sh = DisplayHeight(display, DefaultScreen(display));
  const int size = 64, x0 = sw / 2 - size / 2, y0 = sh / 2 - size / 2;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  long found = -1;
  for (;;) {
    const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
    if (ms > timeoutMs) break;
    if (XImage* img = XGetImage(display, root, x0, y0, size, size, AllPlanes, ZPixmap)) {
      int marked = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) marked += Marked(XGetPixel(img, x, y)) ? 1 : 0;
      XDestroyImage(img);
      if (marked * 10 >= size * size * 9) {
        found = ms;
        break;
      }
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) break;  // the viewer gave up
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (found >= 0) std::printf("%ld\n", found);
  else std::puts("timeout");
  kill(child, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(child, nullptr, WNOHANG) == child) return found >= 0 ? 0 : 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  XCloseDisplay(display);
  return found >= 0 ? 0 : 1;
}
