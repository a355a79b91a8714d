// Light: the masked part of the picture brightened by "multiplier"
// (0 = unchanged, 0.4 = 40 % brighter), which pulses, blinks or flickers.

float   multiplier = 0;
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
                vec3 c = texture(Background, uv).rgb * (1.0 + multiplier);
                d3d_FragColor = vec4(min(c, vec3(1.0)), texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
