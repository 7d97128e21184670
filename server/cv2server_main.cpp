// cv2server: the reference update server.
#include <iostream>

#include "server_commands.h"

int main(int argc, char** argv) {
  return cv2::RunServerCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                               std::cerr);
}
