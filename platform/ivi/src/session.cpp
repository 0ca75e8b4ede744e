#include "session.h"

namespace qx::ivi {
namespace {

template <class T>
T currentValue(const AttributeStore &attributes, ViAttr id)
{
    const Attribute *attribute = attributes.find(id);
    if (attribute == nullptr)
        return T{};
    const T *value = std::get_if<T>(&attribute->current(""));
    return value ? *value : T{};
}

} // namespace

bool Session::flag(ViAttr id) const
{
    return currentValue<ViBoolean>(attributes, id) != VI_FALSE;
}

ViSession Session::sessionValue(ViAttr id) const
{
    return currentValue<ViSession>(attributes, id);
}

ViAddr Session::addrValue(ViAttr id) const
{
    return currentValue<ViAddr>(attributes, id);
}

} // namespace qx::ivi
