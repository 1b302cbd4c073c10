#pragma once

#include <gtest/gtest.h>

#include <string>

// Names each case of a parameterised test by its `name` field.
struct ByName
{
    template<class P> std::string operator()(const ::testing::TestParamInfo<P> &p) const
    {
        return p.param.name;
    }
};
