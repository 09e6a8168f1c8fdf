#include "server/StoreReport.h"

#include "record/FastStatementReader.h"
#include "report/ClassFolder.h"
#include "server/Store.h"

namespace StoreReport
{

ClassFolder::Read read(Store& store)
{
    FastStatementReader reader;
    ClassFolder::Read out;
    int row = 0;
    for (const QByteArray& line : store.allStatements()) {
        ++row;
        QString why;
        if (std::optional<Answer> a = reader.parse(line, &why)) {
            out.answers.append(std::move(*a));
        } else {
            out.leftOut.append({store.where(), row, why});
        }
    }
    return out;
}

ClassReport::Report of(Store& store, const QString& workDir)
{
    ClassFolder::Read in = read(store);
    return ClassFolder::report(std::move(in.answers), std::move(in.leftOut), workDir);
}

} // namespace StoreReport
