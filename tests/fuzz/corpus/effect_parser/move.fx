// Move: the masked part of the picture shifted back and forth along a
// direction; "Direction" is the current shift in picture sizes.

float2  Direction = {0, 0};
float2  Scale = {1, 1};
texture Mask;
texture Background;

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Background { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask       { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                d3d_FragColor = vec4(texture(Background, uv + Direction).rgb, texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
