#include "fitting/session_model.h"

namespace tarva {

SessionModel::SessionModel(Session& s) : session_(s), inputs_{s.fit, s.data, s.models} {}

ModelRef SessionModel::ref() { return ModelRef(*this); }

EngineInputs SessionModel::engine_inputs() {
    Session& s = session_;
    return EngineInputs{std::span<const float>(s.data.X),
                        std::span<const float>(s.data.Y),
                        std::span<const float>(s.data.SIGMA),
                        s.fit.mode,
                        s.data.count,
                        ref(),
                        std::span<const double>(s.fit.value),
                        s.fit.nparams,
                        std::span<const int>(s.fit.mask)};
}

} // namespace tarva
