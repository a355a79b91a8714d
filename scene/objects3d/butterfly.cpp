#include "scene/objects3d/butterfly.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/crt/rand.h"

DS_REGISTER_READER(GetConstructorReaderRegistry(), DS_ButterflyConstructor, DS_ABObj_Constructor)

namespace {

constexpr float kPi = 3.1415927f;
constexpr INT kBodyPicture = 6;
constexpr INT kBodyMesh = 68;
constexpr INT kWingMesh = 69;
constexpr float kTilt = 0.17453294f;  // 10 degrees about X
constexpr float kTurnSlack = 5.0f;    // degrees of heading error before banking
constexpr float kDecisionInterval = 0.25f;
constexpr float kBodyScale = 0.5f;  // an instance root's local scaling

float Rad(float degrees) { return degrees * 2.0f * kPi / 360.0f; }
float Draw01() { return static_cast<float>(crt::rand()) / 32767.0f; }
float RandomRange(float a, float b) { return a + Draw01() * (b - a); }
bool OddDraw() { return crt::rand() % 2 != 0; }

// m := first x m (first applied first).
void PreMultiply(D3DXMATRIX& m, const D3DXMATRIX& first) {
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, &first, &m);
    m = product;
}

}  // namespace

// ---------------------------------------------------------------- DS_Ramp --

void DS_Ramp::Step(float dt) {
    if (value == target) return;
    value += rate * dt;
    if ((rate > 0.0f && value > target) || (rate < 0.0f && value < target)) value = target;
}

void DS_Ramp::Retarget(float newTarget, float newRate) {
    if (newRate != 0.0f) rate = newRate;
    target = newTarget;
    rate = target > value ? std::fabs(rate) : -std::fabs(rate);
}

// ------------------------------------------------------- AC_ButterflyWing --

AC_ButterflyWing::AC_ButterflyWing() { D3DXMatrixIdentity(&wing); }

void AC_ButterflyWing::Animate(DS_Frame* frame) {
    D3DXMatrixMultiply(&frame->world, &frame->local, &wing);
    frame->frontFace = frontFace;
}

// ----------------------------------------------------------- AC_Butterfly --

AC_Butterfly::AC_Butterfly(DS_ButterflyConstructor* d)
    : description(d), wingA(new AC_ButterflyWing), wingB(new AC_ButterflyWing) {
    position = description->RandomPoint();
    heading.value = heading.target = RandomRange(0.0f, 360.0f);
    D3DXMatrixRotationX(&tilt, kTilt);
    D3DXMatrixScaling(&mirror, -1.0f, 1.0f, 1.0f);
    D3DXMatrixIdentity(&sizeMatrix);
    bindings.SetOwner(this);
    DS_FunLightCtrl<unsigned int, AC_Butterfly>::Bind(description->size, &AC_Butterfly::OnSizeChanged, bindings);
}

AC_Butterfly::~AC_Butterfly() = default;

void AC_Butterfly::OnSizeChanged(unsigned int size) {
    const float s = static_cast<float>(size) / 100.0f;
    D3DXMatrixScaling(&sizeMatrix, s, s, s);
}

void AC_Butterfly::Animate(DS_Frame* frame) {
    const float dt = description->step;
    D3DXMATRIX m = frame->local;
    D3DXMATRIX r;
    PreMultiply(m, *D3DXMatrixRotationY(&r, Rad(heading.value)));

    // Bank into a turn.  While a long turn lasts the bank reaches its target,
    // is sent back to 0 and is asked for again: it jitters.
    const float d = heading.value - heading.target;
    if (d < -kTurnSlack)
        bank.Retarget(25.0f, 0.0f);
    else if (d > kTurnSlack)
        bank.Retarget(-25.0f, 0.0f);
    if (speed.value < 100.0f) PreMultiply(m, *D3DXMatrixRotationX(&r, Rad((1.0f - speed.value / 100.0f) * 15.0f)));
    PreMultiply(m, tilt);
    PreMultiply(m, *D3DXMatrixRotationZ(&r, Rad(bank.value)));
    if (bank.value == bank.target) bank.Retarget(0.0f, 0.0f);

    // Wing beat.
    wingAngle += dt * 7.0f * wingSpeed;
    if (wingAngle > wingUpper) wingSpeed = -160.0f;
    if (wingAngle < wingLower) wingSpeed = 100.0f;
    PreMultiply(m, *D3DXMatrixTranslation(&r, 0.0f, wingAngle * -3.0f / 45.0f, 0.0f));
    D3DXMatrixRotationZ(&wingA->wing, Rad(wingAngle));
    D3DXMatrixMultiply(&wingB->wing, &wingA->wing, &mirror);
    wingA->frontFace = wingAngle > 0.0f ? 1 : 0;
    wingB->frontFace = wingAngle < 0.0f ? 1 : 0;

    // Flight.
    const D3DXVECTOR3 forward(speed.value, 0.0f, 0.0f);
    D3DXVECTOR3 v;
    D3DXVec3TransformCoord(&v, &forward, D3DXMatrixRotationY(&r, Rad(heading.value)));
    v.y = vertical.value;
    position.x += v.x * dt;
    position.y += v.y * dt;
    position.z = 0.0f;
    D3DXMATRIX placed;
    D3DXMatrixMultiply(&placed, &m, D3DXMatrixTranslation(&r, position.x, position.y, position.z));

    UpdateRamps(dt);
    KeepInArea();
    StepFlightMode();
    D3DXMatrixMultiply(&frame->world, &sizeMatrix, &placed);
}

void AC_Butterfly::UpdateRamps(float dt) {
    vertical.Step(dt);
    bank.Step(dt);
    heading.Step(dt);
    speed.Step(dt);
}

void AC_Butterfly::KeepInArea() {
    const float L = description->GetLeft(), R = description->GetRight();
    const float T = description->GetTop(), B = description->GetBottom();
    if (T > position.y) {
        requestedMode = 1;
        vertical.Retarget(100.0f, 0.0f);
    } else if (B < position.y) {
        requestedMode = 0;
        vertical.Retarget(-190.0f, 0.0f);
    }
    if (L > position.x) {
        heading.Retarget(0.0f, 350.0f);
        speed.Retarget(300.0f, 0.0f);
    } else if (R < position.x) {
        heading.Retarget(-180.0f, 350.0f);
        speed.Retarget(300.0f, 0.0f);
    }
}

void AC_Butterfly::StepFlightMode() {
    const float clock = description->clock;
    if (flightMode == requestedMode) {
        if (clock - lastDecision > kDecisionInterval) {
            switch (crt::rand() % 5) {
                case 0:
                    requestedMode = 0;
                    vertical.Retarget(RandomRange(-190.0f, 0.0f), 0.0f);
                    break;
                case 1:
                    requestedMode = 1;
                    vertical.Retarget(RandomRange(100.0f, 150.0f), 0.0f);
                    break;
                case 2:
                    requestedMode = 0;
                    speed.Retarget(RandomRange(-25.0f, 300.0f), 0.0f);
                    break;
                default:  // 3 or 4: a turn, only while gliding straight
                    if (flightMode == 0 && heading.value == heading.target) {
                        if (OddDraw()) {
                            const float rate = RandomRange(50.0f, 350.0f);
                            heading.Retarget(RandomRange(-25.0f, 25.0f), rate);
                        } else {
                            const float rate = RandomRange(50.0f, 350.0f);
                            heading.Retarget(RandomRange(155.0f, 205.0f), rate);
                        }
                    }
                    break;
            }
            lastDecision = clock;
        }
    } else if (requestedMode == 1) {
        wingUpper = 0.0f;
        if (wingAngle < wingLower * 0.5f) {
            flightMode = 1;
            wingSpeed = -std::fabs(wingSpeed) / 100.0f;
        }
    } else {
        flightMode = 0;
        wingUpper = -wingLower;
        wingSpeed = speed.value > 20.0f ? RandomRange(-160.0f, speed.value / 3.0f - 50.0f) : 160.0f;
    }
}

// ------------------------------------------------ DS_ButterflyConstructor --

DS_ButterflyConstructor::DS_ButterflyConstructor()
    : bodyImage(kBodyPicture, kCommonResModule), bodyMesh(kBodyMesh, kCommonResModule) {
    speedA.SetValue(50u);
    speedB.SetValue(50u);
    meshLink.ConstructFromResource(kWingMesh, kCommonResModule);
    size.Assign(100u);
    flag = true;
}

DS_ButterflyConstructor::DS_ButterflyConstructor(const DS_ButterflyConstructor& other)
    : DS_3D_Obj_Ctrl(other),
      bodyImage(other.bodyImage),
      bodyMesh(other.bodyMesh),
      speedA(other.speedA),
      speedB(other.speedB),
      wingScale(other.wingScale) {}

DS_ButterflyConstructor::~DS_ButterflyConstructor() = default;

double DS_ButterflyConstructor::InstanceExtent(const std::vector<DS_MeshNode>& nodes) const {
    const double body = nodes.size() > 0 ? nodes[0].radius : 0.0;
    const double wings = nodes.size() > 1 ? nodes[1].radius * std::fabs(static_cast<double>(wingScale)) : 0.0;
    // A NaN wing scale stays NaN: such a butterfly is counted as covering the picture.
    const double radius = std::isnan(wings) ? wings : std::max(body, wings);
    return 2.0 * radius * kBodyScale * static_cast<double>(size.value) / 100.0;
}

void DS_ButterflyConstructor::BuildMeshNodes(std::vector<DS_MeshNode>& nodes) {
    nodes.resize(2);
    DS_MeshNode::BindTexture(bodyImage, nodes[0], bodyMesh);
    nodes[0].flag = 0;
    DS_MeshNode::BindTexture(textureLink, nodes[1], meshLink);
    nodes[1].flag = 1;
}

void DS_ButterflyConstructor::BindInstances(std::list<DS_Frame*>& instances, std::vector<DS_MeshNode>& nodes) {
    if (nodes.size() < 2) return;
    nodes[0].frames.clear();
    nodes[1].frames.clear();
    for (DS_Frame* root : instances) {
        for (DS_Frame* wing : root->children) nodes[1].frames.push_back(wing);
        nodes[0].frames.push_back(root);
    }
}

DS_Frame* DS_ButterflyConstructor::CreateInstance() {
    auto root = std::make_unique<DS_Frame>();
    D3DXMATRIX scaling, turn;
    D3DXMatrixScaling(&scaling, kBodyScale, kBodyScale, kBodyScale);
    D3DXMatrixRotationY(&turn, kPi / 2.0f);
    D3DXMatrixMultiply(&root->local, &scaling, &turn);
    auto* flight = new AC_Butterfly(this);
    root->SetController(flight);
    for (AC_ButterflyWing* controller : {flight->wingA, flight->wingB}) {
        auto* wing = new DS_Frame;
        D3DXMatrixScaling(&wing->local, wingScale, wingScale, wingScale);
        wing->SetController(controller);
        root->children.push_back(wing);
    }
    return root.release();
}

void DS_ButterflyConstructor::WriteRecord(DS_IOF_Virtual& archive) const {
    WriteRecordHeader(archive, u"DS_ButterflyConstructor", 2);
    WriteFileLink(archive, bodyImage);
    WriteFileLink(archive, bodyMesh);
    archive.WriteUInt(speedA.value);
    archive.WriteUInt(speedB.value);
    archive.WriteFloat(wingScale);
    DS_3D_Obj_Ctrl::WriteRecord(archive);
}

DS_ButterflyConstructor* DS_ButterflyConstructor::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    auto d = std::make_unique<DS_ButterflyConstructor>();
    ReadFileLink(archive, d->bodyImage);
    ReadFileLink(archive, d->bodyMesh);
    // The speeds are stored through SetValue, so their scaled values follow.
    UINT raw = 0;
    archive.ReadUInt(raw);
    d->speedA.SetValue(raw);
    archive.ReadUInt(raw);
    d->speedB.SetValue(raw);
    if (version >= 2) archive.ReadFloat(d->wingScale);
    DS_3D_Obj_Ctrl::ReadRecord(archive, *d);
    return d.release();
}
