#include "fakes/fake_run_progress.h"

namespace quenby::test {

void FakeProgress::show(double fraction, int count)
{
    const QString percent = QString::number(qRound(fraction * 100)) + u'%';
    shown << (count < 0 ? percent : percent + u' ' + QString::number(count));
}

} // namespace quenby::test
