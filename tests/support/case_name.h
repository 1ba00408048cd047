// Readable names for table-driven cases: their description, as an identifier.
#pragma once

#include <cctype>
#include <string>

struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        std::string name;
        for (const char* at = info.param.what; *at; ++at)
            name += std::isalnum(static_cast<unsigned char>(*at)) ? *at : '_';
        return name;
    }
};
