// ID3DXMesh: triangles in the device's vertex and index buffers, with the
// attribute buffer and attribute table in system memory.
#include "platform/d3dx9/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/d3dx9/mesh_geometry.h"
#include "platform/d3dx9/xfile.h"
#include "platform/win32/strings.h"

template <>
struct ComInterfaceIds<ID3DXMesh> : ComIds<IID_ID3DXBaseMesh, IID_ID3DXMesh> {};

namespace {

HRESULT Complain(HRESULT hr, const std::string& what) {
    std::fprintf(stderr, "tessaloom d3dx9: %s\n", what.c_str());
    return hr;
}

// Where each element of a flexible vertex format sits in a vertex.
struct Layout {
    bool ok = false;
    UINT stride = 0;
    int normal = -1, psize = -1, diffuse = -1, specular = -1;
    int texCount = 0;
    int tex[8] = {}, texSize[8] = {};
};

Layout LayoutOf(DWORD fvf) {
    Layout l;
    if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ) return l;
    const DWORD count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (count > 8) return l;
    DWORD known = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK;
    for (DWORD i = 0; i < count; ++i) known |= 3u << (16 + 2 * i);
    if (fvf & ~known) return l;
    UINT o = 12;
    if (fvf & D3DFVF_NORMAL) l.normal = static_cast<int>(o), o += 12;
    if (fvf & D3DFVF_PSIZE) l.psize = static_cast<int>(o), o += 4;
    if (fvf & D3DFVF_DIFFUSE) l.diffuse = static_cast<int>(o), o += 4;
    if (fvf & D3DFVF_SPECULAR) l.specular = static_cast<int>(o), o += 4;
    l.texCount = static_cast<int>(count);
    for (DWORD i = 0; i < count; ++i) {
        int size = 2;
        switch ((fvf >> (16 + 2 * i)) & 3) {
            case D3DFVF_TEXTUREFORMAT1: size = 1; break;
            case D3DFVF_TEXTUREFORMAT3: size = 3; break;
            case D3DFVF_TEXTUREFORMAT4: size = 4; break;
            default: break;
        }
        l.tex[i] = static_cast<int>(o);
        l.texSize[i] = size;
        o += static_cast<UINT>(size) * 4;
    }
    l.stride = o;
    l.ok = true;
    return l;
}

D3DPOOL PoolOf(DWORD options, DWORD systemBit, DWORD managedBit) {
    if (options & systemBit) return D3DPOOL_SYSTEMMEM;
    if (options & managedBit) return D3DPOOL_MANAGED;
    return D3DPOOL_DEFAULT;
}

DWORD UsageOf(DWORD options, DWORD writeOnly, DWORD dynamic, DWORD software) {
    DWORD usage = 0;
    if (options & writeOnly) usage |= D3DUSAGE_WRITEONLY;
    if (options & dynamic) usage |= D3DUSAGE_DYNAMIC;
    if (options & software) usage |= D3DUSAGE_SOFTWAREPROCESSING;
    return usage;
}

constexpr uint64_t kSixteenBitVertices = 0x10000;  // indices 0..0xFFFF

class Mesh final : public ComObject<ID3DXMesh> {
public:
    static HRESULT Create(DWORD faces, DWORD vertices, DWORD options, DWORD fvf, IDirect3DDevice9* device, Mesh** out) {
        *out = nullptr;
        if (!device) return Complain(D3DERR_INVALIDCALL, "mesh: no device");
        if (faces == 0 || vertices == 0) return Complain(D3DERR_INVALIDCALL, "mesh: no faces or no vertices");
        if (options & D3DXMESH_VB_SHARE) return Complain(E_NOTIMPL, "mesh: shared vertex buffers are not supported");
        const Layout layout = LayoutOf(fvf);
        if (!layout.ok)
            return Complain(D3DERR_INVALIDCALL, "mesh: vertex format 0x" + [&] {
                char t[16];
                std::snprintf(t, sizeof(t), "%x", fvf);
                return std::string(t);
            }() + " is not XYZ with normal, point size, colours and texture coordinates");
        const bool wide = (options & D3DXMESH_32BIT) != 0;
        if (!wide && vertices > kSixteenBitVertices)
            return Complain(D3DERR_INVALIDCALL, "mesh: " + std::to_string(vertices) +
                                                    " vertices need 32-bit indices (D3DXMESH_32BIT)");
        const uint64_t vbBytes = static_cast<uint64_t>(vertices) * layout.stride;
        const uint64_t ibBytes = static_cast<uint64_t>(faces) * 3 * (wide ? 4 : 2);
        if (vbBytes > 0x7fffffff || ibBytes > 0x7fffffff)
            return Complain(E_OUTOFMEMORY, "mesh: " + std::to_string(faces) + " faces, " + std::to_string(vertices) +
                                               " vertices are too many");
        Mesh* mesh = nullptr;
        try {
            mesh = new Mesh(device, options, fvf, layout, faces, vertices);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = device->CreateVertexBuffer(
            static_cast<UINT>(vbBytes),
            UsageOf(options, D3DXMESH_VB_WRITEONLY, D3DXMESH_VB_DYNAMIC, D3DXMESH_VB_SOFTWAREPROCESSING), fvf,
            PoolOf(options, D3DXMESH_VB_SYSTEMMEM, D3DXMESH_VB_MANAGED), &mesh->vb_, nullptr);
        if (SUCCEEDED(hr))
            hr = device->CreateIndexBuffer(
                static_cast<UINT>(ibBytes),
                UsageOf(options, D3DXMESH_IB_WRITEONLY, D3DXMESH_IB_DYNAMIC, D3DXMESH_IB_SOFTWAREPROCESSING),
                wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, PoolOf(options, D3DXMESH_IB_SYSTEMMEM, D3DXMESH_IB_MANAGED),
                &mesh->ib_, nullptr);
        if (FAILED(hr)) {
            mesh->Release();
            return Complain(hr, "mesh: the device refused its buffers");
        }
        *out = mesh;
        return D3D_OK;
    }

    HRESULT DrawSubset(DWORD attribId) override {
        device_->SetStreamSource(0, vb_, 0, layout_.stride);
        device_->SetIndices(ib_);
        device_->SetFVF(fvf_);
        HRESULT result = D3D_OK;
        auto draw = [&](UINT minVertex, UINT vertexCount, DWORD faceStart, DWORD faceCount) {
            HRESULT hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, minVertex, vertexCount, faceStart * 3,
                                                       faceCount);
            if (FAILED(hr)) result = hr;
        };
        if (!table_.empty()) {
            for (const auto& r : table_)
                if (r.AttribId == attribId && r.FaceCount) draw(r.VertexStart, r.VertexCount, r.FaceStart, r.FaceCount);
            return result;
        }
        for (DWORD f = 0; f < numFaces_;) {
            if (attributes_[f] != attribId) {
                ++f;
                continue;
            }
            DWORD end = f;
            while (end < numFaces_ && attributes_[end] == attribId) ++end;
            draw(0, numVertices_, f, end - f);
            f = end;
        }
        return result;
    }
    DWORD GetNumFaces() override { return numFaces_; }
    DWORD GetNumVertices() override { return numVertices_; }
    DWORD GetFVF() override { return fvf_; }
    DWORD GetNumBytesPerVertex() override { return layout_.stride; }
    DWORD GetOptions() override { return options_; }
    HRESULT GetDevice(IDirect3DDevice9** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *out = device_;
        return D3D_OK;
    }

    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice9* device, ID3DXMesh** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        *out = nullptr;
        Mesh* clone = nullptr;
        HRESULT hr = Create(numFaces_, numVertices_, options, fvf, device, &clone);
        if (FAILED(hr)) return hr;
        std::vector<uint32_t> indices;
        void* src = nullptr;
        void* dst = nullptr;
        if (FAILED(hr = ReadIndices(indices)) || FAILED(hr = vb_->Lock(0, 0, &src, D3DLOCK_READONLY))) {
            clone->Release();
            return hr;
        }
        if (FAILED(hr = clone->vb_->Lock(0, 0, &dst, 0))) {
            vb_->Unlock();
            clone->Release();
            return hr;
        }
        ConvertVertices(static_cast<const uint8_t*>(src), layout_, static_cast<uint8_t*>(dst), clone->layout_,
                        numVertices_);
        clone->vb_->Unlock();
        vb_->Unlock();
        if (FAILED(hr = clone->WriteIndices(indices))) {
            clone->Release();
            return hr;
        }
        clone->attributes_ = attributes_;
        clone->table_ = table_;
        *out = clone;
        return D3D_OK;
    }

    HRESULT GetVertexBuffer(IDirect3DVertexBuffer9** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        vb_->AddRef();
        *out = vb_;
        return D3D_OK;
    }
    HRESULT GetIndexBuffer(IDirect3DIndexBuffer9** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        ib_->AddRef();
        *out = ib_;
        return D3D_OK;
    }
    HRESULT LockVertexBuffer(DWORD flags, LPVOID* data) override { return vb_->Lock(0, 0, data, flags); }
    HRESULT UnlockVertexBuffer() override { return vb_->Unlock(); }
    HRESULT LockIndexBuffer(DWORD flags, LPVOID* data) override { return ib_->Lock(0, 0, data, flags); }
    HRESULT UnlockIndexBuffer() override { return ib_->Unlock(); }

    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* size) override {
        if (!size) return D3DERR_INVALIDCALL;
        if (!table) {
            *size = static_cast<DWORD>(table_.size());
            return D3D_OK;
        }
        std::copy_n(table_.begin(), std::min<size_t>(*size, table_.size()), table);
        return D3D_OK;
    }

    HRESULT GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) override {
        if (!adjacency || !(epsilon >= 0)) return D3DERR_INVALIDCALL;
        std::vector<uint32_t> indices;
        std::vector<D3DVECTOR> positions;
        HRESULT hr = ReadIndices(indices);
        if (FAILED(hr) || FAILED(hr = ReadPositions(positions))) return hr;
        Weld(positions, epsilon);
        const auto adj = meshgeom::Adjacency(positions.data(), numVertices_, sizeof(D3DVECTOR), indices.data(), numFaces_);
        std::copy(adj.begin(), adj.end(), adjacency);
        return D3D_OK;
    }

    HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) override {
        if (!data) return D3DERR_INVALIDCALL;
        if (attributesLocked_) return Complain(D3DERR_INVALIDCALL, "mesh: attribute buffer locked twice");
        attributesLocked_ = true;
        // Attributes may change: the table no longer describes them.
        if (!(flags & D3DLOCK_READONLY)) table_.clear();
        *data = attributes_.data();
        return D3D_OK;
    }
    HRESULT UnlockAttributeBuffer() override {
        if (!attributesLocked_) return D3DERR_INVALIDCALL;
        attributesLocked_ = false;
        return D3D_OK;
    }

    HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                            ID3DXBuffer** vertexRemap) override {
        if (vertexRemap) *vertexRemap = nullptr;
        constexpr DWORD kKnown = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE |
                                 D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_IGNOREVERTS | D3DXMESHOPT_DONOTSPLIT |
                                 D3DXMESHOPT_DEVICEINDEPENDENT;
        if (flags & ~kKnown) return Complain(D3DERR_INVALIDCALL, "OptimizeInplace: unknown flags");
        std::vector<uint32_t> indices;
        HRESULT hr = ReadIndices(indices);
        if (FAILED(hr)) return hr;
        std::vector<uint32_t> attributes(attributes_.begin(), attributes_.end());
        std::vector<uint32_t> adjacency;
        if (adjacencyIn) {
            adjacency.assign(adjacencyIn, adjacencyIn + static_cast<size_t>(numFaces_) * 3);
        } else if (adjacencyOut) {
            std::vector<D3DVECTOR> positions;
            if (FAILED(hr = ReadPositions(positions))) return hr;
            adjacency = meshgeom::Adjacency(positions.data(), numVertices_, sizeof(D3DVECTOR), indices.data(), numFaces_);
        }
        meshgeom::Reordering order;
        if (!meshgeom::SortByAttribute(indices, attributes, numVertices_, adjacency.empty() ? nullptr : &adjacency, order))
            return Complain(D3DXERR_INVALIDMESH, "OptimizeInplace: an index is past the vertices");

        const bool moveVertices = !(flags & D3DXMESHOPT_IGNOREVERTS);
        DWORD newVertices = numVertices_;
        if (moveVertices) {
            void* data = nullptr;
            if (FAILED(hr = vb_->Lock(0, 0, &data, 0))) return hr;
            meshgeom::ApplyVertexRemap(data, layout_.stride, order.vertexRemap);
            vb_->Unlock();
            // Renumbered in order of first use: the used vertices come first.
            if (flags & (D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER))
                newVertices = indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end()) + 1;
        } else {
            for (auto& i : indices) i = order.vertexRemap[i];
        }
        if (FAILED(hr = WriteIndices(indices))) return hr;
        attributes_.assign(attributes.begin(), attributes.end());
        numVertices_ = newVertices;

        table_.clear();
        if (flags & (D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER)) {
            for (const auto& r : order.table) {
                D3DXATTRIBUTERANGE range{r.attribId, r.faceStart, r.faceCount, r.vertexStart, r.vertexCount};
                if (!moveVertices && r.faceCount) {
                    // Vertices kept their numbers: the range is the span the faces use.
                    const auto first = indices.begin() + static_cast<ptrdiff_t>(r.faceStart) * 3;
                    const auto last = first + static_cast<ptrdiff_t>(r.faceCount) * 3;
                    const auto [lo, hi] = std::minmax_element(first, last);
                    range.VertexStart = *lo;
                    range.VertexCount = *hi - *lo + 1;
                }
                table_.push_back(range);
            }
        }
        if (adjacencyOut) std::copy(adjacency.begin(), adjacency.end(), adjacencyOut);
        if (faceRemap) std::copy(order.faceRemap.begin(), order.faceRemap.end(), faceRemap);
        if (vertexRemap) {
            const DWORD count = static_cast<DWORD>(order.vertexRemap.size());
            if (FAILED(hr = D3DXCreateBuffer(count * sizeof(DWORD), vertexRemap))) return hr;
            auto* out = static_cast<DWORD*>((*vertexRemap)->GetBufferPointer());
            for (DWORD i = 0; i < count; ++i)
                out[i] = !moveVertices ? i : (i < newVertices ? order.vertexRemap[i] : 0xFFFFFFFFu);
        }
        return D3D_OK;
    }

    // Fills the buffers from a neutral .x mesh packed in this mesh's format.
    HRESULT Fill(const xfile::Mesh& source) {
        std::vector<uint8_t> packed;
        uint32_t stride = 0;
        if (!meshgeom::PackVertices(source, fvf_, packed, &stride) || stride != layout_.stride)
            return Complain(D3DERR_INVALIDCALL, "mesh: cannot pack the vertices");
        void* data = nullptr;
        HRESULT hr = vb_->Lock(0, 0, &data, 0);
        if (FAILED(hr)) return hr;
        std::memcpy(data, packed.data(), packed.size());
        vb_->Unlock();
        if (FAILED(hr = WriteIndices(source.indices))) return hr;
        if (source.attributes.size() == numFaces_) attributes_.assign(source.attributes.begin(), source.attributes.end());
        return D3D_OK;
    }

private:
    Mesh(IDirect3DDevice9* device, DWORD options, DWORD fvf, const Layout& layout, DWORD faces, DWORD vertices)
        : device_(device), options_(options), fvf_(fvf), layout_(layout), numFaces_(faces), numVertices_(vertices),
          attributes_(faces, 0) {
        device_->AddRef();
    }
    ~Mesh() override {
        if (vb_) vb_->Release();
        if (ib_) ib_->Release();
        device_->Release();
    }

    bool Wide() const { return (options_ & D3DXMESH_32BIT) != 0; }

    HRESULT ReadIndices(std::vector<uint32_t>& out) {
        void* data = nullptr;
        HRESULT hr = ib_->Lock(0, 0, &data, D3DLOCK_READONLY);
        if (FAILED(hr)) return hr;
        out.resize(static_cast<size_t>(numFaces_) * 3);
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < out.size(); ++i) {
            if (Wide()) {
                std::memcpy(&out[i], bytes + i * 4, 4);
            } else {
                uint16_t v;
                std::memcpy(&v, bytes + i * 2, 2);
                out[i] = v;
            }
        }
        ib_->Unlock();
        return D3D_OK;
    }
    HRESULT WriteIndices(const std::vector<uint32_t>& in) {
        if (in.size() != static_cast<size_t>(numFaces_) * 3) return D3DERR_INVALIDCALL;
        void* data = nullptr;
        HRESULT hr = ib_->Lock(0, 0, &data, 0);
        if (FAILED(hr)) return hr;
        auto* bytes = static_cast<uint8_t*>(data);
        for (size_t i = 0; i < in.size(); ++i) {
            if (Wide()) {
                std::memcpy(bytes + i * 4, &in[i], 4);
            } else {
                const uint16_t v = static_cast<uint16_t>(in[i]);
                std::memcpy(bytes + i * 2, &v, 2);
            }
        }
        ib_->Unlock();
        return D3D_OK;
    }
    HRESULT ReadPositions(std::vector<D3DVECTOR>& out) {
        void* data = nullptr;
        HRESULT hr = vb_->Lock(0, 0, &data, D3DLOCK_READONLY);
        if (FAILED(hr)) return hr;
        out.resize(numVertices_);
        for (DWORD i = 0; i < numVertices_; ++i)
            std::memcpy(&out[i], static_cast<const uint8_t*>(data) + static_cast<size_t>(i) * layout_.stride, 12);
        vb_->Unlock();
        return D3D_OK;
    }

    // Positions within epsilon of an earlier one (in every coordinate) take
    // its value, so that adjacency sees them as one.
    static void Weld(std::vector<D3DVECTOR>& positions, float epsilon) {
        if (epsilon <= 0) return;
        std::vector<uint32_t> order(positions.size());
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return positions[a].x < positions[b].x; });
        std::vector<uint32_t> canonical(positions.size());
        std::iota(canonical.begin(), canonical.end(), 0u);
        for (size_t i = 0; i < order.size(); ++i) {
            const D3DVECTOR& p = positions[order[i]];
            for (size_t j = i; j-- > 0;) {
                const D3DVECTOR& q = positions[order[j]];
                if (p.x - q.x > epsilon) break;
                if (std::abs(p.y - q.y) <= epsilon && std::abs(p.z - q.z) <= epsilon) {
                    canonical[order[i]] = canonical[order[j]];
                    break;
                }
            }
        }
        std::vector<D3DVECTOR> welded(positions.size());
        for (size_t i = 0; i < positions.size(); ++i) welded[i] = positions[canonical[i]];
        positions = std::move(welded);
    }

    static void ConvertVertices(const uint8_t* src, const Layout& from, uint8_t* dst, const Layout& to, DWORD count) {
        for (DWORD v = 0; v < count; ++v) {
            const uint8_t* s = src + static_cast<size_t>(v) * from.stride;
            uint8_t* d = dst + static_cast<size_t>(v) * to.stride;
            std::memset(d, 0, to.stride);
            std::memcpy(d, s, 12);
            auto copy = [&](int a, int b, size_t bytes) {
                if (a >= 0 && b >= 0) std::memcpy(d + b, s + a, bytes);
            };
            copy(from.normal, to.normal, 12);
            copy(from.psize, to.psize, 4);
            copy(from.diffuse, to.diffuse, 4);
            copy(from.specular, to.specular, 4);
            for (int t = 0; t < std::min(from.texCount, to.texCount); ++t)
                std::memcpy(d + to.tex[t], s + from.tex[t], static_cast<size_t>(std::min(from.texSize[t], to.texSize[t])) * 4);
        }
    }

    IDirect3DDevice9* device_;
    DWORD options_, fvf_;
    Layout layout_;
    DWORD numFaces_, numVertices_;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
    bool attributesLocked_ = false;
};

HRESULT MeshFromX(const xfile::Mesh& x, DWORD options, IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                  ID3DXBuffer** materials, ID3DXBuffer** effects, DWORD* numMaterials, ID3DXMesh** out,
                  const std::string& label) {
    if (x.FaceCount() == 0 || x.VertexCount() == 0)
        return Complain(D3DXERR_LOADEDMESHASNODATA, label + ": no mesh with faces");
    if (!(options & D3DXMESH_32BIT) && !x.FitsSixteenBitIndices())
        return Complain(D3DXERR_INVALIDDATA, label + ": " + std::to_string(x.VertexCount()) +
                                                 " vertices need 32-bit indices (D3DXMESH_32BIT)");
    DWORD fvf = D3DFVF_XYZ;
    if (x.hasNormals) fvf |= D3DFVF_NORMAL;
    if (x.hasColors) fvf |= D3DFVF_DIFFUSE;
    if (x.hasTexcoords) fvf |= D3DFVF_TEX1;
    Mesh* mesh = nullptr;
    HRESULT hr = Mesh::Create(x.FaceCount(), x.VertexCount(), options, fvf, device, &mesh);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = mesh->Fill(x))) {
        mesh->Release();
        return hr;
    }
    std::vector<ID3DXBuffer*> made;
    auto fail = [&](HRESULT result) {
        for (auto* b : made) b->Release();
        mesh->Release();
        return result;
    };
    ID3DXBuffer* adjacencyBuffer = nullptr;
    ID3DXBuffer* materialBuffer = nullptr;
    ID3DXBuffer* effectBuffer = nullptr;
    if (adjacency) {
        const auto adj = meshgeom::Adjacency(x.positions.data(), x.VertexCount(), sizeof(D3DVECTOR), x.indices.data(),
                                             x.FaceCount());
        if (FAILED(hr = D3DXCreateBuffer(static_cast<DWORD>(adj.size() * sizeof(DWORD)), &adjacencyBuffer))) return fail(hr);
        made.push_back(adjacencyBuffer);
        std::memcpy(adjacencyBuffer->GetBufferPointer(), adj.data(), adj.size() * sizeof(DWORD));
    }
    const DWORD count = static_cast<DWORD>(x.materials.size());
    if (materials && count) {
        // The array, then the file names it points to.
        size_t bytes = count * sizeof(D3DXMATERIAL);
        for (const auto& m : x.materials) bytes += m.textureFilename.empty() ? 0 : m.textureFilename.size() + 1;
        if (FAILED(hr = D3DXCreateBuffer(static_cast<DWORD>(bytes), &materialBuffer))) return fail(hr);
        made.push_back(materialBuffer);
        auto* base = static_cast<uint8_t*>(materialBuffer->GetBufferPointer());
        char* names = reinterpret_cast<char*>(base + count * sizeof(D3DXMATERIAL));
        for (DWORD i = 0; i < count; ++i) {
            const xfile::Material& m = x.materials[i];
            D3DXMATERIAL entry{};
            entry.MatD3D.Diffuse = m.diffuse;
            entry.MatD3D.Ambient = {0, 0, 0, 0};  // D3DX leaves ambient to the caller
            entry.MatD3D.Specular = m.specular;
            entry.MatD3D.Emissive = m.emissive;
            entry.MatD3D.Power = m.power;
            if (!m.textureFilename.empty()) {
                std::memcpy(names, m.textureFilename.c_str(), m.textureFilename.size() + 1);
                entry.pTextureFilename = names;
                names += m.textureFilename.size() + 1;
            }
            std::memcpy(base + i * sizeof(D3DXMATERIAL), &entry, sizeof(entry));
        }
    }
    if (effects && count) {
        if (FAILED(hr = D3DXCreateBuffer(static_cast<DWORD>(count * sizeof(D3DXEFFECTINSTANCE)), &effectBuffer)))
            return fail(hr);
        made.push_back(effectBuffer);  // zero-filled: no file, no defaults
    }
    if (adjacency) *adjacency = adjacencyBuffer;
    if (materials) *materials = materialBuffer;
    if (effects) *effects = effectBuffer;
    if (numMaterials) *numMaterials = count;
    *out = mesh;
    return D3D_OK;
}

void ClearOutputs(ID3DXBuffer** adjacency, ID3DXBuffer** materials, ID3DXBuffer** effects, DWORD* numMaterials,
                  ID3DXMesh** mesh) {
    if (adjacency) *adjacency = nullptr;
    if (materials) *materials = nullptr;
    if (effects) *effects = nullptr;
    if (numMaterials) *numMaterials = 0;
    if (mesh) *mesh = nullptr;
}

}  // namespace

HRESULT D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF, IDirect3DDevice9* pD3DDevice,
                          ID3DXMesh** ppMesh) {
    if (!ppMesh) return D3DERR_INVALIDCALL;
    Mesh* mesh = nullptr;
    HRESULT hr = Mesh::Create(NumFaces, NumVertices, Options, FVF, pD3DDevice, &mesh);
    *ppMesh = mesh;
    return hr;
}

HRESULT D3DXLoadMeshFromXInMemory(LPCVOID Memory, DWORD SizeOfMemory, DWORD Options, IDirect3DDevice9* pD3DDevice,
                                  ID3DXBuffer** ppAdjacency, ID3DXBuffer** ppMaterials,
                                  ID3DXBuffer** ppEffectInstances, DWORD* pNumMaterials, ID3DXMesh** ppMesh) {
    ClearOutputs(ppAdjacency, ppMaterials, ppEffectInstances, pNumMaterials, ppMesh);
    if (!ppMesh || !pD3DDevice || (!Memory && SizeOfMemory)) return D3DERR_INVALIDCALL;
    xfile::Mesh x;
    const xfile::Result r = xfile::Read(Memory, SizeOfMemory, x);
    const std::string label = ".x data of " + std::to_string(SizeOfMemory) + " bytes";
    if (!r.ok) return Complain(D3DXERR_INVALIDDATA, label + ": " + r.error);
    return MeshFromX(x, Options, pD3DDevice, ppAdjacency, ppMaterials, ppEffectInstances, pNumMaterials, ppMesh, label);
}

HRESULT D3DXLoadMeshFromXW(LPCWSTR pFilename, DWORD Options, IDirect3DDevice9* pD3DDevice, ID3DXBuffer** ppAdjacency,
                           ID3DXBuffer** ppMaterials, ID3DXBuffer** ppEffectInstances, DWORD* pNumMaterials,
                           ID3DXMesh** ppMesh) {
    ClearOutputs(ppAdjacency, ppMaterials, ppEffectInstances, pNumMaterials, ppMesh);
    if (!ppMesh || !pD3DDevice || !pFilename) return D3DERR_INVALIDCALL;
    const std::string path = tessaloom::Utf16ToUtf8(pFilename);
    xfile::Mesh x;
    const xfile::Result r = xfile::ReadFile(path, x);
    if (!r.ok) return Complain(D3DXERR_INVALIDDATA, "'" + path + "': " + r.error);
    return MeshFromX(x, Options, pD3DDevice, ppAdjacency, ppMaterials, ppEffectInstances, pNumMaterials, ppMesh,
                     "'" + path + "'");
}

HRESULT D3DXComputeNormals(ID3DXBaseMesh* pMesh, const DWORD*) {
    if (!pMesh) return D3DERR_INVALIDCALL;
    if (!(pMesh->GetFVF() & D3DFVF_NORMAL)) return Complain(D3DERR_INVALIDCALL, "D3DXComputeNormals: the mesh has no normals");
    void* vertices = nullptr;
    void* indices = nullptr;
    HRESULT hr = pMesh->LockVertexBuffer(0, &vertices);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = pMesh->LockIndexBuffer(D3DLOCK_READONLY, &indices))) {
        pMesh->UnlockVertexBuffer();
        return hr;
    }
    // The normal follows the XYZ position in every format a mesh has here.
    const bool ok = meshgeom::ComputeNormals(vertices, pMesh->GetNumVertices(), pMesh->GetNumBytesPerVertex(), 12,
                                             indices, !(pMesh->GetOptions() & D3DXMESH_32BIT), pMesh->GetNumFaces());
    pMesh->UnlockIndexBuffer();
    pMesh->UnlockVertexBuffer();
    return ok ? D3D_OK : Complain(D3DXERR_INVALIDMESH, "D3DXComputeNormals: an index is past the vertices");
}

HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                  D3DXVECTOR3* pCenter, FLOAT* pRadius) {
    if (!pFirstPosition || !pCenter || !pRadius || dwStride < 12) return D3DERR_INVALIDCALL;
    D3DVECTOR centre{};
    meshgeom::BoundingSphere(pFirstPosition, NumVertices, dwStride, &centre, pRadius);
    pCenter->x = centre.x;
    pCenter->y = centre.y;
    pCenter->z = centre.z;
    return D3D_OK;
}
