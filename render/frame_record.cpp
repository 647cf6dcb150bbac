#include "render/frame_record.h"

#include <new>

bool FrameRecord::create(std::int32_t commandCapacity) {
    release();
    if (commandCapacity < 0) {
        return false;
    }
    if (commandCapacity > 0) {
        commands = new (std::nothrow) DrawCommand[static_cast<std::size_t>(commandCapacity)];
        if (!commands) {
            return false;
        }
    }
    capacity = commandCapacity;
    return true;
}

void FrameRecord::release() {
    delete[] commands;
    commands = nullptr;
    capacity = 0;
    reset();
}

std::int32_t FrameRecord::append(const DrawCommand& command) {
    if (count >= capacity) {
        overflowed = true;
        return -1;
    }
    commands[count] = command;
    return count++;
}

RecordCounts countRecord(const FrameRecord& record) {
    RecordCounts counts;
    for (std::int32_t i = 0; i < record.count; ++i) {
        const DrawCommand& command = record.commands[i];
        if (command.pass == DrawPass::Fill) {
            ++counts.views;
        }
        if (isInvisible(command)) {
            continue;
        }
        const Polygon* polygon = command.polygons;
        // The chain, not polygonCount, says what is drawn, as for any list.
        for (; polygon; polygon = polygon->next) {
            if (polygon->vertexCount > 0) {
                ++counts.fans;
                counts.vertices += fanSize(*polygon);
            }
        }
    }
    return counts;
}
