// ravik-standin: serves the local stand-in for the SellerSprite web pages
// until SIGINT or SIGTERM, printing its origin on one line first.
#include <csignal>
#include <iostream>

#include <CLI/CLI.hpp>

#include "standin/site.h"

int main(int argc, char** argv) {
  CLI::App app{"卖家精灵页面的本地替身站点"};
  std::uint16_t port = 0;
  app.add_option("--port", port, "监听端口（0 表示自动选择空闲端口）")->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  // Block the stop signals before any thread starts, so that every thread
  // inherits the mask and only sigwait below receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  standin::Site site;
  try {
    std::cout << site.start(port) << std::endl;
  } catch (const standin::SiteError& error) {
    std::cerr << error.what() << std::endl;
    return 1;
  }
  int received = 0;
  sigwait(&stop_signals, &received);
  site.stop();
  return 0;
}
