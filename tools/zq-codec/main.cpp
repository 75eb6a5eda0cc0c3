// Support tool: encodes or decodes standard input with the payload codec.
#include "payloadcodeccore.h"

#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

namespace {

int usage()
{
    std::cerr << "usage: zq-codec encode|decode [--driver-key]\n"
                 "  reads text on standard input, writes the result on standard output\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
        return usage();
    const std::string mode = argv[1];
    std::string key = zq::codec::kDefaultKey;
    if (argc == 3) {
        if (std::strcmp(argv[2], "--driver-key") != 0)
            return usage();
        key = zq::codec::kDriverKey;
    }
    if (mode != "encode" && mode != "decode")
        return usage();

    std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    const zq::codec::Codec codec(key);
    if (mode == "encode") {
        std::cout << codec.encode(input);
        return 0;
    }
    const std::string plain = codec.decode(input);
    if (plain.empty() && zq::codec::base64Decode(input).size() < zq::codec::kSaltLength + zq::codec::kStampLength) {
        std::cerr << "zq-codec: input is not codec text\n";
        return 1;
    }
    std::cout << plain;
    return 0;
}
