// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the compression-service double on its own, for trying the program or scripts against it.
// Prints the shrink endpoint, then serves until standard input closes.
//   pictavo-service-double [--key KEY]
#include "service_double.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    std::string key = pictavo::ServiceDouble::default_key;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
            key = argv[++i];
        } else {
            std::cerr << "usage: pictavo-service-double [--key KEY]\n";
            return 2;
        }
    }
    pictavo::ServiceDouble service(key);
    if (!service.start()) {
        std::cerr << "pictavo-service-double: cannot listen on 127.0.0.1\n";
        return 1;
    }
    std::cout << service.shrink_url() << std::endl;
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    return 0;
}
