#pragma once

#include "store/recordbatch.h"

#include <memory>
#include <string>
#include <vector>

// A batch of records as the worker hands them over, from the fields' texts.
inline std::shared_ptr<const RecordBatch>
batchOf(int columns, const std::vector<std::vector<std::string>> &records)
{
    RecordBatchBuilder builder(columns);
    for (const auto &record : records) {
        for (const std::string &field : record)
            builder.appendField(field);
        builder.endRecord();
    }
    return builder.finish();
}

// Records first to first + count - 1, record r holding "r.c" in column c.
inline std::shared_ptr<const RecordBatch> numbered(int columns, int first, int count)
{
    RecordBatchBuilder builder(columns);
    for (int record = first; record < first + count; ++record) {
        for (int column = 0; column < columns; ++column)
            builder.appendField(std::to_string(record) + "." + std::to_string(column));
        builder.endRecord();
    }
    return builder.finish();
}
