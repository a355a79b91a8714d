// comment
float  Brightness = 0.3;
float2 Scale = {1, -2.5f};
float4 coord_transf = { 12.5, 0, 0, 9.375 };
matrix WorldViewProj;
float4x4 Fixed = {1,0,0,0, 0,2,0,0, 0,0,3,0, 4,5,6,1};
texture Background;
texture Mask;
/* a block
   comment */
technique Main {
    pass P0 {
        zenable = FALSE;                  // names and values ignore case
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        ZFunc = LessEqual;
        AlphaRef = 0x80;
        FogStart = -1.5;
        ColorWriteEnable = Red | Green | Alpha;
        sampler Background { AddressU = Clamp; AddressV = Mirror; MinFilter = Linear; MagFilter = Point; MipFilter = None; }
        sampler Mask { BorderColor = 0xFF00FF00; }
        vertex """
void main() { gl_Position = vec4(d3d_Position.xyz, 1.0) * WorldViewProj; }
"""
        fragment """void main() { d3d_FragColor = texture(Background, vec2(0.5)); }"""
    }
    pass {
        Lighting = false;
    }
}
technique MainFX { pass P0 { fragment """void main() { d3d_FragColor = vec4(1.0); }""" } }
