// General-purpose outputs (see general_purpose_output.h).
#include "peripherals/io/general_purpose_output.h"

#include "peripherals/factory.h"
#include "peripherals/peripheral_task.h"

CGeneralPurposeOutput::CGeneralPurposeOutput(uint16_t id, uint32_t point, uint32_t board_id)
    : COutputPoint(PERIPHERAL_CLASS_GP_OUTPUT, id), point_(point), board_id_(board_id) {}

bool CGeneralPurposeOutput::Init() {
    if (!InitOutput(board_id_, point_)) return false;
    m_byState = STATE_READING;
    return true;
}

void CGeneralPurposeOutput::SetOutput(bool on) {
    Bridge().Set(Serial(), on ? 1 : 0);
    commanded_on_ = on ? 1 : 0;
}

void CGeneralPurposeOutput::Poll() {
    if (m_byState < STATE_READING) return;
    FollowBoardState();
    const bool requested = (ThePeripheralTask().GpoRequest() >> (Id() - FIRST_ID)) & 1;
    if (requested != IsCommandedOn()) SetOutput(requested);
    SetAuxValue(Bridge().Get(Serial(), 0));
    Bridge().Process();
}

// Point, board id; switched off at creation.
CPeripheral* Create_GeneralPurposeOutput(const PeripheralRecord& record,
                                         const PeripheralParameters& values) {
    CPeripheral* board = nullptr;
    if (values.value[1] > 0xFFFF || !ThePeripheralTask().Find(values.value[1], &board))
        return nullptr;
    auto* output = static_cast<CGeneralPurposeOutput*>(periph_finish_creation(
        new CGeneralPurposeOutput(record.id, values.value[0], values.value[1]), record));
    if (output != nullptr) output->SetOutput(false);
    return output;
}
