#include "instrument/profile.h"

ModelProfile SelectModelProfile(const std::string &ModelName)
{
    // Order matters only in that the first match decides.
    static const ModelProfile fg5010{Model::FG5010, 0.002f, 20000000.0f, 10, 90, 4000000.0f,
                                     0.02f, 20, 7.5f, 15};
    static const ModelProfile afg5101{Model::AFG5101, 0.012f, 12000000.0f, 50, 50, 0,
                                      0.01f, 9.99f, 4.99f, 4.99f};
    static const ModelProfile afg5102{Model::AFG5102, 0.02f, 20000000.0f, 10, 90, 2000000.0f,
                                      0.015f, 15, 7.49f, 7.5f};
    if (ModelName == "FG5010")
        return fg5010;
    if (ModelName == "AFG5101")
        return afg5101;
    if (ModelName == "PFG5105")
        return afg5101;
    if (ModelName == "AFG5102")
        return afg5102;
    return {};
}

OutputLoad ReferenceLoad(Model ModelIndex)
{
    return ModelIndex == Model::FG5010 ? OutputLoad::OpenCircuit : OutputLoad::FiftyOhms;
}

double LoadFactor(Model ModelIndex, OutputLoad load)
{
    if (load == ReferenceLoad(ModelIndex))
        return 1;
    // Into 50 ohms a source shows half its open-circuit voltage.
    return load == OutputLoad::FiftyOhms ? 2 : 0.5;
}
