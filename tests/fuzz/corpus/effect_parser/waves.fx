// Waves: ripples running across the masked part of the picture.  The
// picture is displaced along "direction_n" by a sine of the distance along
// "direction"; positions are measured in aspect-correct units (uv x Scale,
// so the waves keep their shape on wide pictures and "Scale" zooms them).

float2  direction   = {-1, 0};
float2  direction_n = {0, 1};
float   frequency   = 38.4615;   // radians per unit
float   amplitude   = 0.0125;    // picture sizes
float   time        = 0;         // radians
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

        sampler Background { AddressU = Mirror; AddressV = Mirror; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask       { AddressU = Clamp;  AddressV = Clamp;  MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                float phase = dot(uv * Scale, direction) * frequency + time;
                vec2 shift = direction_n * (sin(phase) * amplitude);
                d3d_FragColor = vec4(texture(Background, uv + shift).rgb, texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
