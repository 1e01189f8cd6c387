#include "app/plotoffer.h"

#include "common/groupthousands.h"
#include "plot/plotdata.h"
#include "store/memorybudget.h"
#include "store/resultstore.h"

QString whyNoPlot(bool runInProgress, bool resultFinished, const ResultStore &store)
{
    if (runInProgress)
        return QStringLiteral("A query is running.");
    if (!resultFinished)
        return QStringLiteral("The grid holds no finished result.");
    if (store.recordCount() > MemoryBudget::plotPoints())
        return QStringLiteral("The result's %1 records are more than a plot can hold in the "
                              "memory set aside for it (%2 points). Narrow the query to a station "
                              "or a shorter time to plot it.")
            .arg(GroupThousands(QString::number(store.recordCount())),
                 GroupThousands(QString::number(MemoryBudget::plotPoints())));
    return findPlotColumns(store).whyNot();
}
