// The device's drawing: render and texture state applied to GL, vertex
// input, the fixed-function program's uniforms, and the draw calls.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/gl_enums.h"
#include "platform/d3d9/objects.h"

namespace tessaloom::d3d9 {

// ------------------------------------------------------------- drawing --

void Device::ApplyRenderStates() {
    if (!renderStatesDirty_) return;
    const auto& rs = state_.render;
    const D3DVIEWPORT9& vp = state_.viewport;
    // The window's framebuffer counts its rows from the bottom.
    const GLint vy = drawingUpright_ ? static_cast<GLint>(TargetHeight() - vp.Y - vp.Height) : static_cast<GLint>(vp.Y);
    glViewport(static_cast<GLint>(vp.X), vy, static_cast<GLsizei>(vp.Width), static_cast<GLsizei>(vp.Height));
    glDepthRange(vp.MinZ, vp.MaxZ);

    if (rs[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
        if (src == D3DBLEND_BOTHSRCALPHA) src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA;
        if (src == D3DBLEND_BOTHINVSRCALPHA) src = D3DBLEND_INVSRCALPHA, dst = D3DBLEND_SRCALPHA;
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
            glBlendFuncSeparate(BlendFactor(src), BlendFactor(dst), BlendFactor(rs[D3DRS_SRCBLENDALPHA]),
                                BlendFactor(rs[D3DRS_DESTBLENDALPHA]));
            glBlendEquationSeparate(BlendEquation(rs[D3DRS_BLENDOP]), BlendEquation(rs[D3DRS_BLENDOPALPHA]));
        } else {
            glBlendFunc(BlendFactor(src), BlendFactor(dst));
            glBlendEquation(BlendEquation(rs[D3DRS_BLENDOP]));
        }
    } else {
        glDisable(GL_BLEND);
    }

    if (rs[D3DRS_ZENABLE] && depthStencil_) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(rs[D3DRS_ZWRITEENABLE] && depthStencil_ ? GL_TRUE : GL_FALSE);

    if (rs[D3DRS_STENCILENABLE] && depthStencil_) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(CompareFunc(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF]), rs[D3DRS_STENCILMASK]);
        glStencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]), StencilOp(rs[D3DRS_STENCILPASS]));
        glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
    } else {
        glDisable(GL_STENCIL_TEST);
    }

    // The window's framebuffer is drawn upright through the upper-left clip
    // origin: the vertex programs' y (made for row 0 at GL row 0) turns over
    // on the way to window coordinates, and with it the winding and the rule
    // for pixel centres on an edge, so both stay what they are in a render
    // target.  Culling is judged in screen space (y down): Direct3D's
    // clockwise is GL's counter-clockwise front face here, since GL rows run
    // the same way.
    if (clipControl_) glClipControl(drawingUpright_ ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
        case D3DCULL_CCW: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
        default: glDisable(GL_CULL_FACE); break;
    }
    switch (rs[D3DRS_FILLMODE]) {
        case D3DFILL_POINT: glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); break;
        case D3DFILL_WIREFRAME: glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); break;
        default: glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); break;
    }
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
    glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
    if (rs[D3DRS_SCISSORTESTENABLE]) {
        glEnable(GL_SCISSOR_TEST);
        const RECT& r = state_.scissor;
        const LONG h = std::max<LONG>(0, r.bottom - r.top);
        glScissor(r.left, drawingUpright_ ? static_cast<LONG>(TargetHeight()) - r.bottom : r.top,
                  std::max<LONG>(0, r.right - r.left), h);
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
    renderStatesDirty_ = false;
}

void Device::ApplyTextures(int stages) {
    for (int s = 0; s < stages; ++s) {
        Texture* t = textures_[s];
        if (!t) continue;
        t->EnsureStorage();
        glActiveTexture(GL_TEXTURE0 + s);
        if (boundTextures_[s] != t->glTexture()) {
            glBindTexture(GL_TEXTURE_2D, t->glTexture());
            boundTextures_[s] = t->glTexture();
        }
        if (samplerDirty_[s]) {
            const auto& smp = state_.sampler[s];
            const GLuint so = samplers_[s];
            glSamplerParameteri(so, GL_TEXTURE_WRAP_S, AddressMode(smp[D3DSAMP_ADDRESSU]));
            glSamplerParameteri(so, GL_TEXTURE_WRAP_T, AddressMode(smp[D3DSAMP_ADDRESSV]));
            glSamplerParameteri(so, GL_TEXTURE_WRAP_R, AddressMode(smp[D3DSAMP_ADDRESSW]));
            glSamplerParameteri(so, GL_TEXTURE_MAG_FILTER,
                                smp[D3DSAMP_MAGFILTER] == D3DTEXF_POINT || smp[D3DSAMP_MAGFILTER] == D3DTEXF_NONE ? GL_NEAREST : GL_LINEAR);
            glSamplerParameteri(so, GL_TEXTURE_MIN_FILTER, MinFilter(smp[D3DSAMP_MINFILTER], smp[D3DSAMP_MIPFILTER]));
            float border[4];
            ColorOf(smp[D3DSAMP_BORDERCOLOR], border);
            glSamplerParameterfv(so, GL_TEXTURE_BORDER_COLOR, border);
            glSamplerParameterf(so, GL_TEXTURE_LOD_BIAS, BitsFloat(smp[D3DSAMP_MIPMAPLODBIAS]));
            glSamplerParameterf(so, GL_TEXTURE_MIN_LOD, static_cast<float>(smp[D3DSAMP_MAXMIPLEVEL]));
            samplerDirty_[s] = false;
        }
    }
}

void Device::ApplyVertexInput(GLuint buffer, UINT offset, UINT stride, int) {
    const DWORD fvf = state_.fvf;
    if (input_.buffer == buffer && input_.offset == offset && input_.stride == stride && input_.fvf == fvf) return;
    input_.buffer = buffer;
    input_.offset = offset;
    input_.stride = stride;
    input_.fvf = fvf;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    auto at = [&](UINT o) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(offset + o)); };
    UINT o = 0;
    const bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, rhw ? 4 : 3, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(stride), at(o));
    o += rhw ? 16 : 12;
    auto optional = [&](GLuint location, bool present, GLint size, GLenum type, GLboolean normalized, UINT bytes) {
        if (present) {
            glEnableVertexAttribArray(location);
            glVertexAttribPointer(location, size, type, normalized, static_cast<GLsizei>(stride), at(o));
            o += bytes;
        } else {
            glDisableVertexAttribArray(location);
        }
    };
    optional(1, fvf & D3DFVF_NORMAL, 3, GL_FLOAT, GL_FALSE, 12);
    if (fvf & D3DFVF_PSIZE) o += 4;
    // D3DCOLOR: bytes B, G, R, A; GL's BGRA size reads them as r, g, b, a.
    optional(2, fvf & D3DFVF_DIFFUSE, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    optional(3, fvf & D3DFVF_SPECULAR, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    const UINT count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < 8; ++i) {
        if (i >= count) {
            glDisableVertexAttribArray(4 + i);
            continue;
        }
        GLint size = 2;
        switch ((fvf >> (16 + i * 2)) & 3) {
            case D3DFVF_TEXTUREFORMAT1: size = 1; break;
            case D3DFVF_TEXTUREFORMAT3: size = 3; break;
            case D3DFVF_TEXTUREFORMAT4: size = 4; break;
            default: break;
        }
        optional(4 + i, true, size, GL_FLOAT, GL_FALSE, static_cast<UINT>(size) * 4);
    }
}

HRESULT Device::PrepareDraw(D3DPRIMITIVETYPE type) {
    if (!inScene_) return Fail(D3DERR_INVALIDCALL, "draw outside BeginScene/EndScene");
    if (PrimitiveMode(type) == GL_INVALID_ENUM) return Fail(D3DERR_INVALIDCALL, "unknown primitive type");
    if (FvfStride(state_.fvf) == 0) return Fail(D3DERR_INVALIDCALL, "draw with a vertex format this device cannot read");
    if (state_.render[D3DRS_FOGENABLE]) return Fail(D3DERR_INVALIDCALL, "fog is not implemented");
    if (state_.render[D3DRS_LIGHTING] && (state_.fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW)
        for (const LightSlot& l : state_.lights)
            if (l.enabled && l.light.Type != D3DLIGHT_DIRECTIONAL)
                return Fail(D3DERR_INVALIDCALL, "point and spot lights are not implemented");
    MakeCurrent();
    ApplyTargets();
    if (drawingUpright_ && depthStencil_ &&
        (state_.render[D3DRS_ZENABLE] || state_.render[D3DRS_ZWRITEENABLE] || state_.render[D3DRS_STENCILENABLE])) {
        // Depth and stencil live in a renderbuffer that cannot be drawn
        // together with the window's framebuffer: the back buffer moves into
        // its texture, with what the frame drew so far, until the next Reset.
        LeaveWindow(true);
        ApplyTargets();
    }
    ApplyRenderStates();
    uint32_t textured = 0;
    for (int s = 0; s < kMaxStages; ++s) textured |= (textures_[s] ? 1u : 0u) << s;
    if (ffDirty_ || textured != texturedStages_ || (!program_ && !override_)) {
        key_ = MakeFfKey(state_, textured);
        texturedStages_ = textured;
        ffDirty_ = false;
        transformsDirty_ = true;
        program_ = nullptr;
        if (!override_) {
            std::string error;
            program_ = ff_->Get(key_, &error);
            if (!program_) return D3DERR_INVALIDCALL;
        }
    }
    if (transformsDirty_) {
        ++uniformSerial_;
        transformsDirty_ = false;
    }
    if (override_) {
        const GLuint program = override_->program ? override_->program(key_) : 0;
        if (!program) return Fail(D3DERR_INVALIDCALL, "the drawing program refused the draw");
        auto found = overridePrograms_.find(program);
        if (found == overridePrograms_.end()) {
            FfProgram locations = FfProgramLocations(program);
            glUseProgram(program);
            for (int i = 0; i < kMaxStages; ++i) {
                const std::string name = "u_tex" + std::to_string(i);
                const GLint l = glGetUniformLocation(program, name.c_str());
                if (l >= 0) glUniform1i(l, i);
            }
            found = overridePrograms_.emplace(program, locations).first;
        }
        if (usedProgram_ != program) {
            glUseProgram(program);
            usedProgram_ = program;
        }
        UploadUniforms(found->second);
        if (override_->bind) override_->bind(program);
        ApplyTextures(kMaxStages);
        return D3D_OK;
    }
    if (usedProgram_ != program_->program) {
        glUseProgram(program_->program);
        usedProgram_ = program_->program;
    }
    UploadUniforms(*program_);
    ApplyTextures(key_.stageCount);
    return D3D_OK;
}

void Device::UploadUniforms(FfProgram& program) {
    if (program.uploadedSerial != uniformSerial_) {
        program.uploadedSerial = uniformSerial_;
        const D3DMATRIX worldView = Multiply(state_.world, state_.view);
        const D3DMATRIX wvp = Multiply(worldView, state_.projection);
        // Row-vector matrices uploaded as they lie read as their transpose in
        // GLSL, so u_wvp * p computes p x M.
        glUniformMatrix4fv(program.wvp, 1, GL_FALSE, &wvp.m[0][0]);
        glUniformMatrix4fv(program.worldView, 1, GL_FALSE, &worldView.m[0][0]);
        const D3DVIEWPORT9& vp = state_.viewport;
        glUniform4f(program.viewport, static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width),
                    static_cast<float>(vp.Height));
        glUniform2f(program.depthRange, vp.MinZ, vp.MaxZ);
        float c[4];
        ColorOf(state_.render[D3DRS_TEXTUREFACTOR], c);
        glUniform4fv(program.textureFactor, 1, c);
        glUniform1f(program.alphaRef, static_cast<float>(state_.render[D3DRS_ALPHAREF] & 0xff));
        ColorOf(state_.render[D3DRS_AMBIENT], c);
        glUniform4fv(program.ambient, 1, c);
        const D3DMATERIAL9& m = state_.material;
        glUniform4fv(program.matDiffuse, 1, &m.Diffuse.r);
        glUniform4fv(program.matAmbient, 1, &m.Ambient.r);
        glUniform4fv(program.matSpecular, 1, &m.Specular.r);
        glUniform4fv(program.matEmissive, 1, &m.Emissive.r);
        glUniform1f(program.matPower, m.Power);
        float dirs[kMaxLights * 3], diffuse[kMaxLights * 4], specular[kMaxLights * 4], ambient[kMaxLights * 4];
        for (int i = 0; i < kMaxLights; ++i) {
            const D3DLIGHT9& l = state_.lights[i].light;
            const D3DMATRIX& v = state_.view;
            for (int j = 0; j < 3; ++j)
                dirs[i * 3 + j] = l.Direction.x * v.m[0][j] + l.Direction.y * v.m[1][j] + l.Direction.z * v.m[2][j];
            std::memcpy(diffuse + i * 4, &l.Diffuse, 16);
            std::memcpy(specular + i * 4, &l.Specular, 16);
            std::memcpy(ambient + i * 4, &l.Ambient, 16);
        }
        glUniform3fv(program.lightDir, kMaxLights, dirs);
        glUniform4fv(program.lightDiffuse, kMaxLights, diffuse);
        glUniform4fv(program.lightSpecular, kMaxLights, specular);
        glUniform4fv(program.lightAmbient, kMaxLights, ambient);
        float constants[kMaxStages * 4];
        for (int s = 0; s < kMaxStages; ++s) ColorOf(state_.stage[s][D3DTSS_CONSTANT], constants + s * 4);
        glUniform4fv(program.constant, kMaxStages, constants);
        float bump[kMaxStages * 4];
        for (int s = 0; s < kMaxStages; ++s)
            for (int k = 0; k < 4; ++k) bump[s * 4 + k] = BitsFloat(state_.stage[s][D3DTSS_BUMPENVMAT00 + k]);
        glUniform4fv(program.bumpMatrix, kMaxStages, bump);
        glUniformMatrix4fv(program.textureMatrix, kMaxStages, GL_FALSE, &state_.textureMatrix[0].m[0][0]);
    }
}


HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) {
    if (!stream_) return Fail(D3DERR_INVALIDCALL, "DrawPrimitive without a vertex stream");
    if (count == 0) return D3D_OK;
    const UINT vertices = VertexCount(type, count);
    const uint64_t end = static_cast<uint64_t>(streamOffset_) + (static_cast<uint64_t>(startVertex) + vertices) * streamStride_;
    if (streamStride_ == 0 || end > stream_->length())
        return Fail(D3DERR_INVALIDCALL, "DrawPrimitive reads past the end of the vertex buffer");
    if (lost()) return D3D_OK;
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    ApplyVertexInput(stream_->glBuffer(), streamOffset_, streamStride_, 0);
    glDrawArrays(PrimitiveMode(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(vertices));
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count) {
    if (!stream_ || !indices_) return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive without a stream or indices");
    if (count == 0) return D3D_OK;
    const UINT indexSize = indices_->format() == D3DFMT_INDEX32 ? 4 : 2;
    const UINT indexCount = VertexCount(type, count);
    if (static_cast<uint64_t>(startIndex + static_cast<uint64_t>(indexCount)) * indexSize > indices_->length())
        return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive reads past the end of the index buffer");
    if (streamStride_ == 0) return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive with stride 0");
    // Every index must name a vertex inside the buffer.
    const int64_t maxIndex = indices_->MaxIndex(startIndex, indexCount);
    const int64_t lastVertex = maxIndex + baseVertex;
    if (lastVertex < 0 || static_cast<uint64_t>(streamOffset_) + static_cast<uint64_t>(lastVertex + 1) * streamStride_ >
                              stream_->length())
        return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitive: an index points past the vertex buffer");
    (void)minIndex;
    (void)numVertices;
    if (lost()) return D3D_OK;
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    ApplyVertexInput(stream_->glBuffer(), streamOffset_, streamStride_, baseVertex);
    if (boundIndexBuffer_ != indices_->glBuffer()) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_->glBuffer());
        boundIndexBuffer_ = indices_->glBuffer();
    }
    glDrawElementsBaseVertex(PrimitiveMode(type), static_cast<GLsizei>(indexCount),
                             indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                             reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indexSize), baseVertex);
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    if (!data || stride == 0) return D3DERR_INVALIDCALL;
    // Direct3D leaves stream 0 unset after a draw from user memory.
    SetStreamSource(0, nullptr, 0, 0);
    if (count == 0 || lost()) return D3D_OK;
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    const UINT vertices = VertexCount(type, count);
    glBindBuffer(GL_ARRAY_BUFFER, upBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices) * stride, data, GL_STREAM_DRAW);
    input_ = InputCache{};
    ApplyVertexInput(upBuffer_, 0, stride, 0);
    glDrawArrays(PrimitiveMode(type), 0, static_cast<GLsizei>(vertices));
    input_ = InputCache{};
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT, UINT numVertices, UINT count,
                                       const void* indexData, D3DFORMAT indexFormat, const void* data, UINT stride) {
    if (!data || !indexData || stride == 0 || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    SetStreamSource(0, nullptr, 0, 0);
    SetIndices(nullptr);
    if (count == 0 || lost()) return D3D_OK;
    const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    const UINT indexCount = VertexCount(type, count);
    for (UINT i = 0; i < indexCount; ++i) {
        uint32_t v = 0;
        std::memcpy(&v, static_cast<const uint8_t*>(indexData) + i * indexSize, indexSize);
        if (v >= numVertices) return Fail(D3DERR_INVALIDCALL, "DrawIndexedPrimitiveUP: index beyond NumVertices");
    }
    HRESULT hr = PrepareDraw(type);
    if (FAILED(hr)) return hr;
    glBindBuffer(GL_ARRAY_BUFFER, upBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(numVertices) * stride, data, GL_STREAM_DRAW);
    input_ = InputCache{};
    ApplyVertexInput(upBuffer_, 0, stride, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndexBuffer_);
    boundIndexBuffer_ = upIndexBuffer_;
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount) * indexSize, indexData, GL_STREAM_DRAW);
    glDrawElements(PrimitiveMode(type), static_cast<GLsizei>(indexCount),
                   indexSize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, nullptr);
    input_ = InputCache{};
    return D3D_OK;
}

}  // namespace tessaloom::d3d9
