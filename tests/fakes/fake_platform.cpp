#include "fakes/fake_platform.h"

namespace quenby::test {

FakePlatform::FakePlatform()
    : store(log)
    , desktop(log)
    , processes(log)
    , power(log)
    , clock(log)
    , journal(log)
    , notifications(log)
{
}

} // namespace quenby::test
